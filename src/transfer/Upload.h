#pragma once

#include "entries/serverEntry.h"
#include "transfer/RetransmitTimer.h"
#include "transfer/TftpOptions.h"
#include "transfer/TftpPacket.h"
#include "transfer/TransferResult.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <functional>

class TUdp;

// One TFTP upload: a write request, then the file's DATA blocks in lock-step with the server's
// acknowledgements, retransmitted by Timer1, until a TransferResult. An entry that asks for a
// block size or a window has them negotiated first; with a window, up to that many blocks go
// out before an acknowledgement is awaited. It needs no widgets; the progress dialog and the
// command line are views of it.
class TUpload : public QObject {
    Q_OBJECT

public:
    explicit TUpload(QObject* parent = nullptr);

    TUdp* Udp1;
    TRetransmitTimer* Timer1;

    // Opens the endpoint, reads the file and sends the write request for Entry, whose values
    // are taken now. Ends at once, through OnEnd, when any of that fails.
    void Start(const TServerEntry& Entry);
    // Ends the upload, or one not yet started, with trAborted.
    void Abort();

    void Udp1Read(QObject* Sender);
    void Timer1Timer();

    // Acknowledged bytes of the file's total, every 32 blocks and at the end.
    std::function<void(qint64 Acked, qint64 Total)> OnProgress;
    // Once for every upload started or aborted.
    std::function<void(TransferResult Result)> OnEnd;
    // Each trace line, while Tracing says lines are wanted (always, when Tracing is empty).
    std::function<void(const QString& Line)> OnTrace;
    std::function<bool()> Tracing;

    // The packet sent last (write request or DATA block) and its length.
    Tftp::PacketBuffer Packet{};
    qint32 PacketLen = 0;
    // The last block sent; the last block acknowledged (0 for the write request, -1 before).
    qint32 BlockNo = 0;
    qint32 AckedNo = -1;
    // What the write request asks for, whether its answer is still awaited, and what the
    // upload goes on with.
    Tftp::OptionRequest Asked;
    bool Negotiating = false;
    qint32 BlockSize = Tftp::BlockSize;
    qint32 WindowSize = 1;
    QByteArray FileData;
    qint32 RetryCount = 0;
    // When the current packet last went out, on SendClock.
    qint64 LastSendNs = 0;
    // Answers awaited awake in vain, in a row.
    qint32 WaitsInVain = 0;

private:
    bool TraceWanted() const;
    // The file's last block, the first shorter than BlockSize (perhaps empty).
    qint32 LastBlock() const;
    template <typename... Numbers> void Trace(const char* Text, Numbers... Values);
    bool ReadLocalFile(const QString& Path);
    void SendWriteRequest(const Tftp::OptionRequest& Options);
    void AckReceived(quint16 block);
    void OptionAckReceived(QByteArrayView datagram);
    void Acknowledged(qint32 block);
    void ErrorReceived(const Tftp::Reply& reply);
    void BuildBlock(qint32 block);
    void SendBlocks(qint32 from, bool announce);
    void AwaitAnswer(qint64 lastAnsweredAfterNs);
    void SendPacket();
    bool SentMomentsAgo() const;
    void End(TransferResult result);

    QElapsedTimer SendClock;
    QByteArray RemoteName;
};
