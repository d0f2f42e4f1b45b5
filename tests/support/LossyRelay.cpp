#include "support/LossyRelay.h"

#include "support/LoopbackSocket.h"

#include <QSocketNotifier>
#include <QTimer>

struct LossyRelay::Front {
    LoopbackSocket socket;
    quint16 serverPort = 0;
    QSocketNotifier* notifier = nullptr;
    QByteArray heldForClient;
};

LossyRelay::LossyRelay(quint16 serverPort, Rates rates, quint32 seed)
    : rates(rates)
    , serverPort(serverPort)
    , random(seed)
    , back(std::make_unique<LoopbackSocket>())
    , backNotifier(new QSocketNotifier(back->handle(), QSocketNotifier::Read, this))
    , request(std::make_unique<Front>()) {
    request->serverPort = serverPort;
    request->notifier = new QSocketNotifier(request->socket.handle(), QSocketNotifier::Read, this);
    connect(request->notifier, &QSocketNotifier::activated, this,
            [this] { fromClientVia(*request); });
    connect(backNotifier, &QSocketNotifier::activated, this, [this] { fromServer(); });
}

LossyRelay::~LossyRelay() = default;

quint16 LossyRelay::port() const {
    return request->socket.port();
}

LossyRelay::Front& LossyRelay::frontFor(quint16 port) {
    auto& front = fronts[port];
    if (!front) {
        front = std::make_shared<Front>();
        front->serverPort = port;
        front->notifier = new QSocketNotifier(front->socket.handle(), QSocketNotifier::Read, this);
        Front* raw = front.get();
        connect(front->notifier, &QSocketNotifier::activated, this,
                [this, raw] { fromClientVia(*raw); });
    }
    return *front;
}

void LossyRelay::fromClientVia(Front& front) {
    const auto datagram = front.socket.receive(0);
    if (!datagram) {
        return;
    }
    clientPort = datagram->port;
    ++fromClient;
    if (cut) {
        ++sentAfterCut;
        return;
    }
    const QByteArray& bytes = datagram->bytes;
    const bool isData = bytes.size() >= 4 && bytes[0] == 0 && bytes[1] == 3;
    const int block = isData ? int(quint8(bytes[2]) << 8 | quint8(bytes[3])) : 0;
    if (isData) {
        ++dataFromClient;
        lastBlock = qMax(lastBlock, block);
        if (bytes.size() - 4 < blockSize) {
            finalBlock = block;
        }
    }
    pass(*back, front.serverPort, bytes, heldForServer, true, front.serverPort);
    cut = cutAfterBlock > 0 && isData && block == cutAfterBlock;
}

void LossyRelay::fromServer() {
    const auto datagram = back->receive(0);
    if (!datagram || clientPort == 0 || cut) {
        return;
    }
    Front& front = datagram->port == serverPort ? *request : frontFor(datagram->port);
    pass(front.socket, clientPort, datagram->bytes, front.heldForClient, false, datagram->port);
}

void LossyRelay::pass(LoopbackSocket& socket, quint16 toPort, const QByteArray& bytes,
                      QByteArray& held, bool toServer, quint16 serverSide) {
    const auto note = [&](const QString& fate) {
        const auto at = [&](int i) {
            return bytes.size() > i ? int(quint8(bytes[i])) : 0;
        };
        record.append(QStringLiteral("%1 %2 op%3 #%4 %5")
                          .arg(toServer ? "c>s" : "s>c")
                          .arg(serverSide)
                          .arg(at(1))
                          .arg(at(2) << 8 | at(3))
                          .arg(fate));
    };
    if (copies) {
        const int n = copies(bytes, toServer);
        note(QStringLiteral("x%1").arg(n));
        for (int i = 0; i < n; ++i) {
            socket.sendTo(toPort, bytes);
        }
        return;
    }
    const bool request = toServer && bytes.startsWith(QByteArray("\0\2", 2));
    const bool finalAck = !toServer && bytes.size() >= 4 && bytes[1] == 4 &&
                          (quint8(bytes[2]) << 8 | quint8(bytes[3])) == finalBlock;
    if (rates.spareEnds && (request || finalAck)) {
        note(QStringLiteral("x1"));
        socket.sendTo(toPort, bytes);
        return;
    }
    if (random.generateDouble() < rates.loss) {
        note(QStringLiteral("x0"));
        return;
    }
    if (rates.hold > 0 && random.generateDouble() < rates.hold) {
        note(QStringLiteral("+%1ms").arg(rates.holdMs));
        QTimer::singleShot(rates.holdMs, this,
                           [&socket, toPort, bytes] { socket.sendTo(toPort, bytes); });
        return;
    }
    // One datagram may wait here for the next and go out after it, or on its own a little
    // later when no other comes.
    if (held.isEmpty() && random.generateDouble() < rates.reorder) {
        held = bytes;
        note(QStringLiteral("held"));
        QTimer::singleShot(rates.maxDelayMs / 6, this, [&socket, toPort, &held] {
            if (!held.isEmpty()) {
                socket.sendTo(toPort, std::exchange(held, QByteArray()));
            }
        });
        return;
    }
    QList<QByteArray> out{bytes};
    if (!held.isEmpty()) {
        out.append(std::exchange(held, QByteArray()));
    }
    const bool twice = random.generateDouble() < rates.duplicate;
    if (twice) {
        out.append(bytes);
    }
    const int delay =
        rates.fixedDelayMs +
        (random.generateDouble() < rates.delay ? int(random.bounded(rates.maxDelayMs + 1)) : 0);
    note(QStringLiteral("x%1%2")
             .arg(twice ? 2 : 1)
             .arg(delay > 0 ? QStringLiteral(" +%1ms").arg(delay) : QString()));
    for (const QByteArray& d : out) {
        if (delay == 0) {
            socket.sendTo(toPort, d);
        } else {
            QTimer::singleShot(delay, this, [&socket, toPort, d] { socket.sendTo(toPort, d); });
        }
    }
}
