#include "support/ScriptedTftpServer.h"

#include "support/LoopbackSocket.h"

#include <QSocketNotifier>
#include <QTimer>

quint16 ScriptedTftpServer::Datagram::opcode() const {
    return bytes.size() < 2 ? 0 : quint16(quint8(bytes[0]) << 8 | quint8(bytes[1]));
}

quint16 ScriptedTftpServer::Datagram::number() const {
    return bytes.size() < 4 ? 0 : quint16(quint8(bytes[2]) << 8 | quint8(bytes[3]));
}

bool ScriptedTftpServer::Datagram::isBlock(quint16 block) const {
    return block == 0 ? opcode() == 2 : opcode() == 3 && number() == block;
}

ScriptedTftpServer::ScriptedTftpServer(quint16 requestPort, const char* requestAddress)
    : request(std::make_unique<LoopbackSocket>(requestAddress, requestPort))
    , transfer(std::make_unique<LoopbackSocket>())
    , requestNotifier(new QSocketNotifier(request->handle(), QSocketNotifier::Read, this))
    , transferNotifier(new QSocketNotifier(transfer->handle(), QSocketNotifier::Read, this)) {
    script = [this](const Datagram& d) {
        acknowledgeNormally(d);
    };
    connect(requestNotifier, &QSocketNotifier::activated, this,
            [this] { readFrom(*request, false); });
    connect(transferNotifier, &QSocketNotifier::activated, this,
            [this] { readFrom(*transfer, true); });
    clock.start();
}

ScriptedTftpServer::~ScriptedTftpServer() = default;

quint16 ScriptedTftpServer::port() const {
    return request->port();
}

quint16 ScriptedTftpServer::transferPort() const {
    return transfer->port();
}

bool ScriptedTftpServer::readFrom(LoopbackSocket& socket, bool isTransfer) {
    const auto datagram = socket.receive(0);
    if (!datagram) {
        return false;
    }
    clientPort = datagram->port;
    received.append({datagram->bytes, datagram->port, isTransfer, clock.elapsed()});
    const Datagram last = received.last();
    script(last);
    return true;
}

void ScriptedTftpServer::drain() {
    while (readFrom(*request, false) || readFrom(*transfer, true)) {
    }
}

void ScriptedTftpServer::acknowledgeNormally(const Datagram& d) {
    if (d.opcode() == 2) {
        answer(ack(0));
    } else if (d.opcode() == 3) {
        answer(ack(d.number()));
    }
}

void ScriptedTftpServer::onceAtBlock(quint16 block, std::function<void(const Datagram&)> step) {
    script = [this, block, step = std::move(step), done = false](const Datagram& d) mutable {
        if (!done && d.isBlock(block)) {
            done = true;
            step(d);
            return;
        }
        acknowledgeNormally(d);
    };
}

void ScriptedTftpServer::answer(const QByteArray& bytes, int delayMs) {
    const quint16 to = clientPort;
    if (delayMs <= 0) {
        transfer->sendTo(to, bytes);
        return;
    }
    QTimer::singleShot(delayMs, this, [this, to, bytes] { transfer->sendTo(to, bytes); });
}

void ScriptedTftpServer::sendFromRequestPort(quint16 to, const QByteArray& bytes) {
    request->sendTo(to, bytes);
}

QByteArray ScriptedTftpServer::ack(quint16 block) {
    return QByteArray("\0\4", 2) + char(block >> 8) + char(block & 0xFF);
}

QByteArray ScriptedTftpServer::error(quint16 code, const QByteArray& message) {
    return QByteArray("\0\5", 2) + char(code >> 8) + char(code & 0xFF) + message + '\0';
}

QByteArray ScriptedTftpServer::file() const {
    QByteArray data;
    quint16 expected = 1;
    for (const Datagram& d : received) {
        if (d.opcode() == 3 && d.number() == expected) {
            data += d.bytes.mid(4);
            ++expected;
        }
    }
    return data;
}

QList<quint16> ScriptedTftpServer::dataBlocks() const {
    QList<quint16> blocks;
    for (const Datagram& d : received) {
        if (d.opcode() == 3) {
            blocks.append(d.number());
        }
    }
    return blocks;
}
