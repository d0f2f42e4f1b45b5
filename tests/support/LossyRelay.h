#pragma once

#include <QHash>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <functional>
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
        // The write request and the acknowledgement of the last block pass once, unharmed. A
        // copy of a request that arrives later makes a server start the upload again: tftpd-hpa
        // then empties a file it has just completed, atftpd one it is still writing. atftpd
        // never repeats its last acknowledgement, so a client that lost it can only time out,
        // though the file is stored. No client can help either, so a test that compares the
        // stored file spares both.
        bool spareEnds = false;
        // Every datagram, both ways, held this much longer: a link whose round trip takes twice
        // as long.
        int fixedDelayMs = 0;
        // Share of datagrams held exactly holdMs while those after them pass: reordering
        // without loss.
        double hold = 0;
        int holdMs = 20;
    };

    LossyRelay(quint16 serverPort, Rates rates, quint32 seed = 1);
    ~LossyRelay() override;

    quint16 port() const;
    Rates rates;
    // When set, decides instead of the rates how many copies of each datagram go on: 0 loses
    // it, 2 sends it twice.
    std::function<int(const QByteArray& bytes, bool toServer)> copies;

    // The block size the upload goes on with, which tells its short last block.
    int blockSize = 512;

    // Datagrams the client sent, and DATA packets among them, whatever became of them.
    int fromClient = 0;
    int dataFromClient = 0;
    // The highest DATA block number the client sent, and the number of its short last block.
    int lastBlock = 0;
    int finalBlock = -1;
    // When set (not 0): once this DATA block has reached the server the network goes dead both
    // ways, and what the client still sends is only counted.
    int cutAfterBlock = 0;
    int sentAfterCut = 0;
    // Every datagram that passed, one line each: its way ("c>s" towards the server, "s>c"
    // back), the server port it went to or came from, opcode and number, and how many copies
    // went on ("x0" lost, "x2" doubled, "held" kept back, "+Nms" delayed).
    QStringList record;

private:
    struct Front;
    Front& frontFor(quint16 serverPort);
    void fromClientVia(Front& front);
    void fromServer();
    void pass(LoopbackSocket& socket, quint16 toPort, const QByteArray& bytes, QByteArray& held,
              bool toServer, quint16 serverSide);

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
