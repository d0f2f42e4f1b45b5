// slow-link SERVER_PORT DELAY_MS: a link with a round trip of twice DELAY_MS in front of a TFTP
// server on loopback. Prints the port clients send to, then passes datagrams both ways, each
// held DELAY_MS, until it is ended.

#include "support/LossyRelay.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: slow-link SERVER_PORT DELAY_MS\n");
        return 2;
    }
    LossyRelay::Rates rates;
    rates.fixedDelayMs = std::atoi(argv[2]);
    LossyRelay relay(quint16(std::atoi(argv[1])), rates);
    std::printf("%u\n", unsigned(relay.port()));
    std::fflush(stdout);
    return app.exec();
}
