#pragma once

#include <QHash>
#include <QObject>
#include <QRandomGenerator>
#include <memory>

class LoopbackSocket;
class QSocketNotifier;

// A bad network between a TFTP client and a real server on loopback. The client talks to
// port(); the relay passes each datagram on, as a NAT would, from a port of its own per server
// port, so that the client sees the server's transfer port change as it really does. On the way,
// in both directions, datagrams are lost, sent twice, held back behind the next one, or delayed,
// at the rates given, from a fixed seed.
class LossyRelay : public QObject {
    Q_OBJECT

public:
    struct Rates {
        double loss = 0;
        double duplicate = 0;
        double reorder = 0;
        double delay = 0; // share of datagrams delayed, by 0 to maxDelayMs
        int maxDelayMs = 300;
    };

    LossyRelay(quint16 serverPort, Rates rates, quint32 seed = 1);
    ~LossyRelay() override;

    quint16 port() const;
    Rates rates;

    // Datagrams the client sent, and DATA packets among them, whatever became of them.
    int fromClient = 0;
    int dataFromClient = 0;
    // The highest DATA block number the client sent.
    int lastBlock = 0;
    // When set: once this DATA block has reached the server the network goes dead both ways,
    // and what the client still sends is only counted.
    int cutAfterBlock = 0;
    int sentAfterCut = 0;

private:
    struct Front;
    Front& frontFor(quint16 serverPort);
    void fromClientVia(Front& front);
    void fromServer();
    void pass(LoopbackSocket& socket, quint16 toPort, const QByteArray& bytes, QByteArray& held);

    const quint16 serverPort;
    QRandomGenerator random;
    quint16 clientPort = 0;
    std::unique_ptr<LoopbackSocket> back; // towards the server
    QSocketNotifier* backNotifier;
    QByteArray heldForServer;
    bool cut = false;
    std::unique_ptr<Front> request;                // where the client sends its write request
    QHash<quint16, std::shared_ptr<Front>> fronts; // by the server port they stand for
};
