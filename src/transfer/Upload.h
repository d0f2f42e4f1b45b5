#pragma once

#include "entries/serverEntry.h"
#include "transfer/RetransmitTimer.h"
#include "transfer/RoundTrip.h"
#include "transfer/TftpOptions.h"
#include "transfer/TftpPacket.h"
#include "transfer/TransferResult.h"

#include "net/HostLookup.h"
#include "net/SocketAddress.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <functional>

class TUdp;

// Everything that belongs to one upload, from its start to its result: Start makes it afresh,
// so that nothing one upload set, or a field added later, reaches the next.
struct TUploadState {
    // Where the upload stands. Only the phases that await the server take its datagrams and
    // time-outs.
    enum class TPhase {
        Idle,         // nothing started yet
        Starting,     // the endpoint and the file being opened
        LookingUp,    // the server's name being looked up
        AwaitingAck0, // the plain write request sent
        Negotiating,  // the write request with options sent
        Sending,      // DATA blocks going out
        Ended,
    };
    TPhase Phase = TPhase::Idle;
    TServerEntry Target;
    QByteArray RemoteName;
    QList<TSocketAddress> Addresses;
    qsizetype AddressIndex = 0;
    // Why the upload failed, what the server said, and how it ended; kept after the end.
    QString FFailureText;
    QString FServerError;
    bool FAllDataSent = false;
    qint32 FWaitsInVain = 0;
    // The retransmission period, and the sends before a time-out.
    int Period = 0;
    qint32 MaxSends = 0;
    // When waiting for the device ends, on SendClock; -1 when the upload does not wait.
    qint64 WaitDeadlineNs = -1;

    // The packet sent last (write request or DATA block) and its length.
    Tftp::PacketBuffer Packet{};
    qint32 PacketLen = 0;
    // The last block sent; the last block acknowledged (0 for the write request, -1 before).
    qint32 BlockNo = 0;
    qint32 AckedNo = -1;
    // What the write request asks for, and what the upload goes on with.
    Tftp::OptionRequest Asked;
    qint32 BlockSize = Tftp::BlockSize;
    qint32 WindowSize = 1;
    qint64 FileSize = 0;
    // Time-outs of the packet or window under way.
    qint32 RetryCount = 0;
    // When the current packet last went out, on SendClock.
    qint64 LastSendNs = 0;
    // When the packet whose acknowledgement will tell the round trip went out: the last one
    // sent, if sent once; -1 when there is none.
    qint64 SampleFromNs = -1;
    TRoundTrip RoundTrip;
    // The blocks last sent again, and when.
    qint32 RestartFrom = -1;
    qint32 RestartTo = -1;
    qint64 RestartNs = 0;
    // Whether Timer1 runs a short wait for the answer to a window after an acknowledgement left
    // unanswered, instead of the period.
    bool Rechecking = false;
    // How long after the last send the last acknowledgement that told of progress came.
    qint64 LastAnswerAfterNs = 0;
    // What of the file was read last: Buffer holds its bytes from BufferOffset on.
    QByteArray Buffer;
    qint64 BufferOffset = 0;
};

// One TFTP upload: a write request, then the file's DATA blocks in lock-step with the server's
// acknowledgements, retransmitted by Timer1, until a TransferResult. An entry that asks for a
// block size or a window has them negotiated first; with a window, up to that many blocks go
// out before an acknowledgement is awaited. The server's name is looked up without holding up
// the event loop, and the file is read as the upload goes. It needs no widgets; the progress
// dialog and the command line are views of it.
class TUpload : public QObject, private TUploadState {
    Q_OBJECT

public:
    explicit TUpload(QObject* parent = nullptr);

    TUdp* Udp1;
    TRetransmitTimer* Timer1;

    // Looks the server up, then opens the endpoint and the file and sends the write request for
    // Entry, whose values are taken now. Ends through OnEnd when any of that fails: at once,
    // or once a name has been looked up. Every setting of the upload comes from Entry or the
    // defaults, none from an earlier upload; one still under way ends as aborted first.
    void Start(const TServerEntry& Entry);
    // Ends the upload under way, or one not yet started, with trAborted; one that has ended
    // stays as it ended.
    void Abort();

    void Udp1Read(QObject* Sender);
    void Udp1Error(QObject* Sender, quint16 Error);
    void Timer1Timer();
    void Lookup1Found(const QList<TSocketAddress>& Addresses);

    // OnProgress, OnEnd and OnWait may abort the upload, start another or delete the upload
    // object; OnTrace only records.
    // Acknowledged bytes of the file's total, every 32 blocks and at the end.
    std::function<void(qint64 Acked, qint64 Total)> OnProgress;
    // Once for every upload started or aborted.
    std::function<void(TransferResult Result)> OnEnd;
    // When the upload begins to wait for a device to come up, and once a step while it waits,
    // with the seconds left.
    std::function<void(int SecondsLeft)> OnWait;
    // Each trace line, while Tracing says lines are wanted (always, when Tracing is empty).
    std::function<void(const QString& Line)> OnTrace;
    std::function<bool()> Tracing;

    // An empty file goes out as one empty block instead of ending with trFileOpenError.
    void SetSendsEmptyFiles(bool Sends) { FSendsEmptyFiles = Sends; }
    // The file is read this much at a time, so that sending a block seldom costs a read, while
    // a file of any size takes no more memory than this (or one block, if larger).
    void SetReadAheadBytes(qint64 Bytes) { FReadAheadBytes = Bytes; }
    // How the server's name is looked up; the system's resolver unless a test sets another.
    void SetResolver(THostLookup::TResolver Resolver);
    // Why the last upload failed, in plain English, for the command line: the file and what
    // was wrong with it, the system's reason for a failed send, the server's error.
    QString FailureText() const { return FFailureText; }
    // The error the server sent, "error 2: Permission denied"; empty when it sent none.
    QString ServerError() const { return FServerError; }
    // Where the last upload went: the server's address (the one that answered, of a name's
    // several) and the remote name.
    QString ServerAddress() const;
    // Answers awaited awake in vain, in a row.
    qint32 WaitsInVain() const { return FWaitsInVain; }
    // Whether the last upload timed out with every block sent, awaiting the last block's
    // acknowledgement: a device that writes the file to flash before it answers.
    bool AllDataSent() const { return FAllDataSent; }
    // The bytes of the file the server has acknowledged so far, and the file's size.
    qint64 AcknowledgedBytes() const;
    qint64 FileBytes() const { return FileSize; }
    // Whether the server has taken the write request.
    bool Answered() const { return AckedNo >= 0; }
    // How often a device that is not up yet is asked again: a second, which is also the unit
    // of the entry's wait; tests shorten it.
    void SetWaitStepMs(int Ms) { FWaitStepMs = Ms; }

private:
    // A datagram from the server, by what it says.
    struct TAnswer {
        enum { Ack, OptionAck, Error, Other } Kind;
        Tftp::Reply Reply;
        QByteArrayView Datagram;
    };
    // Why a packet goes out. A new request or a packet that answers the server begins a new
    // period of Timer1 and a new count of time-outs, and an answer's blocks are each announced
    // in the trace; a time-out's resend keeps both and goes out without a word per block.
    enum class TSendCause { Request, Answer, Timeout };
    // Taken before a caller is told something; says afterwards whether the upload under way
    // then still is: whoever is told may abort it, start another or delete the upload.
    struct TTold {
        QPointer<TUpload> Upload;
        quint64 Start;
        bool GoesOn() const;
    };
    TTold Told();

    bool AwaitsServer() const;
    bool FromServer() const;
    void StrangerReceived(const TAnswer& answer);
    void AwaitingAck0Read(const TAnswer& answer);
    void NegotiatingRead(const TAnswer& answer);
    void SendingRead(const TAnswer& answer);

    bool TraceWanted() const;
    // The file's last block, the first shorter than BlockSize (perhaps empty).
    qint32 LastBlock() const;
    template <typename... Numbers> void Trace(const char* Text, Numbers... Values);
    bool OpenServer();
    bool OpenLocalFile();
    // Makes sure the file's bytes from Offset on, Length of them, are in Buffer; false when
    // the file gives fewer than its size promised or cannot be read.
    bool Buffered(qint64 Offset, qint64 Length);
    bool Fail(TransferResult result, const QString& why);
    bool SendWriteRequest(const Tftp::OptionRequest& Options);
    // The server took the write request: the transfer goes on from the port it answered from.
    void RequestAccepted();
    void AckReceived(quint16 block);
    void UnexpectedAck(quint16 block);
    void OptionAckReceived(QByteArrayView datagram);
    void Acknowledged(qint32 block);
    void ErrorReceived(const Tftp::Reply& reply);
    void UnknownReceived();
    bool BuildBlock(qint32 block);
    bool SendBlocks(qint32 from, TSendCause cause);
    // Whether the acknowledgement that came now, of a block short of the last sent, may be the
    // server's answer to blocks sent again moments ago rather than its word that the next one
    // is missing.
    bool AnswersResent();
    // Waits a few round trips for the server's answer instead of the period, then sends the
    // window again.
    void Recheck();
    // Sends again what the server has not acknowledged: the write request, or the window
    // after the last acknowledged block.
    bool SendUnacknowledged(TSendCause cause);
    void AwaitAnswer(qint64 lastAnsweredAfterNs);
    // False when the packet did not go out: the upload ended, or went on to the name's next
    // address, which the write request was sent to instead.
    bool SendPacket(TSendCause cause);
    // Before the server's first answer, tries the name's next address; ends the upload when
    // there is none.
    void Unreachable(const QString& why);
    bool SentMomentsAgo() const;
    qint64 PeriodNs() const;
    // Whether the upload waits for a device to come up: the request is out, and the server
    // has not answered yet.
    bool Waiting() const;
    void WaitEnded();
    qint64 WaitStepNs() const;
    // The one way an upload ends: the server is told if it must be, everything the upload holds
    // is let go, then OnEnd is told.
    void End(TransferResult result);
    // Sends the server an ERROR with code 0 and why.
    void TellServer(const QString& why);

    THostLookup* Lookup1;
    bool FSendsEmptyFiles = false;
    qint64 FReadAheadBytes = 1 << 20;
    int FWaitStepMs = 0;
    // Uploads started so far.
    quint64 FStarts = 0;
    QElapsedTimer SendClock;
    // The file being sent, open until the upload ends.
    QFile Source;
};
