#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <functional>
#include <memory>

class LoopbackSocket;
class QSocketNotifier;

// A TFTP server on loopback whose every answer a test can script. It takes write requests on
// port(), answers from transferPort() (its transfer ID) and records what it received and when.
// Unless a test's script says otherwise it behaves: acknowledgement 0 for a write request,
// acknowledgement k for DATA block k.
class ScriptedTftpServer : public QObject {
    Q_OBJECT

public:
    // Takes write requests on requestPort, or on a port of its own choosing, of requestAddress;
    // it answers from 127.0.0.1 whatever the address, as a server bound to all addresses may.
    explicit ScriptedTftpServer(quint16 requestPort = 0, const char* requestAddress = "127.0.0.1");
    ~ScriptedTftpServer() override;

    struct Datagram {
        QByteArray bytes;
        quint16 fromPort = 0;
        bool toTransferPort = false;
        qint64 atMs = 0;

        quint16 opcode() const;
        quint16 number() const;
        // DATA block `block`, or the write request for 0.
        bool isBlock(quint16 block) const;
    };

    quint16 port() const;
    quint16 transferPort() const;

    // Decides what to do with each datagram; by default acknowledgeNormally.
    std::function<void(const Datagram&)> script;
    void acknowledgeNormally(const Datagram& d);
    // A script: the first time DATA block `block` arrives (the write request for 0), step runs
    // instead of the acknowledgement; everything else is acknowledged normally.
    void onceAtBlock(quint16 block, std::function<void(const Datagram&)> step);

    // Sends to the client, the sender of the last datagram, after an optional delay.
    void answer(const QByteArray& bytes, int delayMs = 0);
    // Sends from the port that takes write requests instead of the transfer port.
    void sendFromRequestPort(quint16 to, const QByteArray& bytes);
    quint16 client() const { return clientPort; }

    static QByteArray ack(quint16 block);
    static QByteArray error(quint16 code, const QByteArray& message);

    QList<Datagram> received;
    // The file as the DATA blocks received in sequence make it up.
    QByteArray file() const;
    // Block numbers of the DATA packets received, repeats included.
    QList<quint16> dataBlocks() const;

    // Takes in at once whatever has arrived and not been handled yet.
    void drain();

private:
    bool readFrom(LoopbackSocket& socket, bool isTransfer);

    std::unique_ptr<LoopbackSocket> request;
    std::unique_ptr<LoopbackSocket> transfer;
    QSocketNotifier* requestNotifier;
    QSocketNotifier* transferNotifier;
    quint16 clientPort = 0;
    QElapsedTimer clock;
};
