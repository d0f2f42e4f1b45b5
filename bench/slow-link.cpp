// slow-link SERVER_PORT DELAY_MS [LOSS DUPLICATE SEED BLKSIZE [HOLD HOLD_MS]]: a link with a
// round trip of twice DELAY_MS in front of a TFTP server on loopback, losing and duplicating the
// given shares of datagrams both ways from SEED, and holding the share HOLD of them HOLD_MS
// while later ones pass, all but the write request and the last acknowledgement (for
// the short block of BLKSIZE bytes at most). Prints the port clients send to, then passes
// datagrams until its standard input ends; then prints the datagrams and the DATA packets the
// client sent, and the highest block number among them.

#include "support/LossyRelay.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3 && argc != 7 && argc != 9) {
        std::fprintf(stderr, "usage: slow-link SERVER_PORT DELAY_MS "
                             "[LOSS DUPLICATE SEED BLKSIZE [HOLD HOLD_MS]]\n");
        return 2;
    }
    LossyRelay::Rates rates;
    rates.fixedDelayMs = std::atoi(argv[2]);
    quint32 seed = 1;
    int blockSize = 512;
    if (argc >= 7) {
        rates.loss = std::atof(argv[3]);
        rates.duplicate = std::atof(argv[4]);
        rates.spareEnds = true;
        seed = quint32(std::strtoul(argv[5], nullptr, 10));
        blockSize = std::atoi(argv[6]);
    }
    if (argc == 9) {
        rates.hold = std::atof(argv[7]);
        rates.holdMs = std::atoi(argv[8]);
    }
    LossyRelay relay(quint16(std::atoi(argv[1])), rates, seed);
    relay.blockSize = blockSize;
    std::printf("%u\n", unsigned(relay.port()));
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char byte;
        if (read(STDIN_FILENO, &byte, 1) <= 0) {
            std::printf("%d %d %d\n", relay.fromClient, relay.dataFromClient, relay.lastBlock);
            std::fflush(stdout);
            app.quit();
        }
    });
    return app.exec();
}
