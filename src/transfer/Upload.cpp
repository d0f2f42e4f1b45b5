#include "transfer/Upload.h"

#include "entries/CodePage.h"
#include "net/ApplicationException.h"
#include "net/EUdpException.h"
#include "net/HostLookup.h"
#include "net/Udp.h"
#include "net/WinSockErrors.h"

#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {

constexpr int RetransmitMs = 5000;
constexpr int DefaultSends = 5;
// A device that is still starting is asked this often while the upload waits for it.
constexpr int WaitStepMs = 1000;
// Progress is reported every 32 blocks (16 KiB).
constexpr int ProgressStep = 32;
// How long the upload waits awake for an answer that came within that time the last time, and
// after how many such waits in a row in vain it leaves every answer to the event loop.
constexpr qint32 AnswerWaitUs = 50;
constexpr qint32 MaxWaitsInVain = 3;
// Errors the network sends back that say the server cannot be reached at this address.
constexpr quint16 WsaConnectionRefused = 10061;
constexpr quint16 WsaMessageSize = 10040;
constexpr quint16 WsaNetworkUnreachable = 10051;
constexpr quint16 WsaHostUnreachable = 10065;

} // namespace

TUpload::TUpload(QObject* parent)
    : QObject(parent)
    , Udp1(new TUdp(this))
    , Timer1(new TRetransmitTimer(this))
    , Lookup1(new THostLookup(this)) {
    Udp1->OnRead = [this](QObject* Sender) {
        Udp1Read(Sender);
    };
    Udp1->OnError = [this](QObject* Sender, quint16 Error) {
        Udp1Error(Sender, Error);
    };
    Lookup1->OnFailed = [this](const QString& Why) {
        if (Phase == TPhase::LookingUp) {
            Trace("look-up failed: %1", Why);
            Fail(trSocketCreateError,
                 QStringLiteral("cannot look up %1: %2").arg(Target.ServerAddress, Why));
        }
    };
    Lookup1->OnFound = [this](const QList<TSocketAddress>& Found) {
        Lookup1Found(Found);
    };
    Timer1->setInterval(RetransmitMs);
    FWaitStepMs = WaitStepMs;
    connect(Timer1, &TRetransmitTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
    SendClock.start();
}

// A trace line is only made when someone records it: an upload writes three for every block.
bool TUpload::TraceWanted() const {
    return OnTrace && (!Tracing || Tracing());
}

template <typename... Numbers> void TUpload::Trace(const char* Text, Numbers... Values) {
    if (!TraceWanted()) {
        return;
    }
    QString line = QString::fromUtf8(Text);
    ((line = line.arg(Values)), ...);
    OnTrace(line);
}

void TUpload::SetResolver(THostLookup::TResolver Resolver) {
    Lookup1->Resolver = std::move(Resolver);
}

// Starting: the entry's values are taken, and the server's name is looked up.
void TUpload::Start(const TServerEntry& Entry) {
    const TServerEntry entry = Entry;
    if (Phase != TPhase::Idle && Phase != TPhase::Ended) {
        const TTold told = Told();
        End(trAborted);
        // Whoever heard of the end may have started an upload of their own, or deleted this.
        if (!told.Upload || told.Start != FStarts) {
            return;
        }
    }
    ++FStarts;
    static_cast<TUploadState&>(*this) = TUploadState();
    Phase = TPhase::Starting;
    Target = entry;
    Period = entry.RetransmitMs > 0 ? entry.RetransmitMs : RetransmitMs;
    MaxSends = entry.Retries > 0 ? entry.Retries : DefaultSends;
    Timer1->stop();
    Timer1->setInterval(Period);

    Udp1->Port = entry.ServerPort;
    Udp1->Address = entry.ServerAddress;
    if (entry.ServerPort < 0 || entry.ServerPort > 65535) {
        Fail(trSocketError, QStringLiteral("port %1 is beyond 65535").arg(entry.ServerPort));
        return;
    }
    Phase = TPhase::LookingUp;
    Lookup1->Start(entry.ServerAddress);
}

TUpload::TTold TUpload::Told() {
    return {this, FStarts};
}

bool TUpload::TTold::GoesOn() const {
    return Upload && Upload->FStarts == Start && Upload->Phase != TPhase::Ended;
}

void TUpload::Lookup1Found(const QList<TSocketAddress>& Found) {
    if (Phase != TPhase::LookingUp) {
        return;
    }
    Phase = TPhase::Starting;
    // The server is looked up before the local file is touched: the host decides the result
    // when both are wrong.
    if (Found.isEmpty()) {
        Fail(trHostNotFound, Lookup1->Why());
        return;
    }
    Addresses = Found;
    AddressIndex = 0;
    if (!OpenServer() || !OpenLocalFile()) {
        return;
    }
    RemoteName = EncodeSystemName(Target.RemoteFile);
    if (RemoteName.size() > Tftp::MaxNameLength) {
        Trace("remote file name too long");
        Fail(trFileOpenError,
             QStringLiteral("the remote name is longer than %1 bytes").arg(Tftp::MaxNameLength));
        return;
    }
    Tftp::OptionRequest options;
    options.BlockSize = Target.BlkSize;
    options.WindowSize = Target.WindowSize;
    options.Timeout = Target.TimeoutSeconds;
    options.TransferSize = FileSize;
    if (Target.WaitForTarget > 0) {
        // Until the server first answers, the request goes out once a step, and neither a
        // silent server nor one that cannot be reached yet ends the upload before the wait.
        WaitDeadlineNs = SendClock.nsecsElapsed() + qint64(Target.WaitForTarget) * WaitStepNs();
        Timer1->setInterval(FWaitStepMs);
    }
    QList<QByteArray> leftOut;
    options = Tftp::FittingRequest(options, RemoteName.size(), leftOut);
    for (const QByteArray& name : leftOut) {
        Trace("option %1 left out: the request would be longer than 512 bytes",
              QString::fromLatin1(name));
    }
    if (SendWriteRequest(options.Any() ? options : Tftp::OptionRequest()) && Waiting() && OnWait) {
        OnWait(Target.WaitForTarget);
    }
}

bool TUpload::OpenServer() {
    try {
        Udp1->OpenAt(Addresses[AddressIndex]);
    } catch (const EUdpException& e) {
        if (e.Kind == EUdpException::ukSocket) {
            return Fail(trSocketCreateError, QString::fromLocal8Bit(std::strerror(errno)));
        }
        return Fail(trSocketError, QString::fromUtf8(e.what()));
    }
    return true;
}

bool TUpload::SendWriteRequest(const Tftp::OptionRequest& Options) {
    Asked = Options;
    Phase = Options.Any() ? TPhase::Negotiating : TPhase::AwaitingAck0;
    Trace("make WQR packet");
    if (Options.Any()) {
        QStringList asked;
        for (const auto& [name, value] : Options.Options()) {
            asked.append(QString::fromLatin1(name + '=' + value));
        }
        Trace("options asked: %1", asked.join(u' '));
    }
    PacketLen = Tftp::MakeWriteRequest(Packet, RemoteName,
                                       Options.Any() ? Options.Options() : QList<Tftp::Option>());
    if (!SendPacket(TSendCause::Request)) {
        return false;
    }
    SampleFromNs = LastSendNs;
    return true;
}

bool TUpload::OpenLocalFile() {
    const QString& path = Target.LocalFile;
    if (HoldsForeignBytes(path)) {
        // A name whose bytes are not UTF-8 is opened by those bytes: the file's own name.
        const int descriptor = ::open(EncodeSystemName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0 || !Source.open(descriptor, QIODevice::ReadOnly | QIODevice::Unbuffered,
                                           QFileDevice::AutoCloseHandle)) {
            const QString why = QString::fromLocal8Bit(std::strerror(errno));
            if (descriptor >= 0) {
                ::close(descriptor);
            }
            return Fail(trFileOpenError, QStringLiteral("%1: %2").arg(path, why));
        }
    } else {
        Source.setFileName(path);
        if (!Source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            return Fail(trFileOpenError, QStringLiteral("%1: %2").arg(path, Source.errorString()));
        }
    }
    Trace("file opened");
    FileSize = Source.size();
    if (FileSize <= 0) {
        // A pipe or a device tells no size: taken for empty, it would be stored as nothing.
        if (!QFileInfo(Source).isFile()) {
            return Fail(trFileOpenError, QStringLiteral("%1: not a regular file").arg(path));
        }
        if (!FSendsEmptyFiles) {
            return Fail(trFileOpenError, QStringLiteral("%1: the file is empty").arg(path));
        }
    }
    BufferOffset = 0;
    Buffer.clear();
    // The first chunk now: a file that cannot be read, or gives less than its size, is found
    // before anything is sent.
    return Buffered(0, qMin(FileSize, FReadAheadBytes));
}

bool TUpload::Buffered(qint64 Offset, qint64 Length) {
    if (Offset >= BufferOffset && Offset + Length <= BufferOffset + Buffer.size()) {
        return true;
    }
    // Blocks go out in order, so the next chunk starts at the first block not yet
    // acknowledged, which a time-out resends; a resend from further back reads from there.
    const qint64 windowStart = qint64(qMax(AckedNo, 0)) * BlockSize;
    const qint64 start = Offset >= windowStart && Offset + Length <= windowStart + FReadAheadBytes
                             ? windowStart
                             : Offset;
    const qint64 wanted = qMin(qMax(FReadAheadBytes, Length), FileSize - start);
    Buffer.resize(wanted);
    qint64 got = 0;
    if (Source.pos() != start && !Source.seek(start)) {
        got = -1;
    }
    while (got >= 0 && got < wanted) {
        const qint64 read = Source.read(Buffer.data() + got, wanted - got);
        if (read <= 0) {
            break;
        }
        got += read;
    }
    BufferOffset = start;
    if (got == wanted) {
        return true;
    }
    Buffer.clear();
    if (got < 0 || Source.error() != QFileDevice::NoError) {
        return Fail(trFileOpenError,
                    QStringLiteral("%1: %2").arg(Target.LocalFile, Source.errorString()));
    }
    // The file shrank since its size was taken, or never had the size it gave (files under
    // /sys and /proc): sending zeros for the rest would store a wrong file.
    Trace("size error! filesize=%1 readlen=%2", FileSize, start + got);
    return Fail(trFileOpenError, QStringLiteral("%1: gave %2 of its %3 bytes")
                                     .arg(Target.LocalFile)
                                     .arg(start + got)
                                     .arg(FileSize));
}

bool TUpload::Fail(TransferResult result, const QString& why) {
    FFailureText = why;
    End(result);
    return false;
}

QString TUpload::ServerAddress() const {
    return Udp1->RemoteAddress();
}

// Datagrams go to the phase that awaits them; in the others, the endpoint is closed.
void TUpload::Udp1Read(QObject*) {
    char buffer[Tftp::MaxDatagram];
    qint32 count = 0;
    try {
        count = Udp1->ReceiveText(buffer, sizeof buffer);
    } catch (const std::exception&) {
        // A notification that outlived the upload it belonged to.
        return;
    }
    if (count <= 0 || !AwaitsServer()) {
        return;
    }
    TAnswer answer{TAnswer::Other, {}, QByteArrayView(buffer, count)};
    // An option acknowledgement may hold no more than its opcode.
    if (count >= 2 && quint8(buffer[0]) == 0 && quint8(buffer[1]) == Tftp::OpOptionAck) {
        answer.Kind = TAnswer::OptionAck;
    } else if (const std::optional<Tftp::Reply> reply = Tftp::ParseReply(answer.Datagram)) {
        answer.Reply = *reply;
        answer.Kind = reply->Opcode == Tftp::OpAck     ? TAnswer::Ack
                      : reply->Opcode == Tftp::OpError ? TAnswer::Error
                                                       : TAnswer::Other;
    }
    if (!FromServer()) {
        StrangerReceived(answer);
        return;
    }
    // The device is up once it answers at all, even to refuse the request's options.
    if (answer.Kind != TAnswer::Other) {
        WaitEnded();
    }
    switch (Phase) {
    case TPhase::AwaitingAck0:
        AwaitingAck0Read(answer);
        break;
    case TPhase::Negotiating:
        NegotiatingRead(answer);
        break;
    case TPhase::Sending:
        SendingRead(answer);
        break;
    default:
        break;
    }
}

// The server answers a write request from a port of its own, its transfer ID, and a server bound
// to all of its host's addresses may answer from another address than the one asked: before its
// first answer, a datagram from anywhere counts; from then on only one from that address and
// port does. A second transfer the server started for a copy of the request, or a datagram from
// anywhere else, would otherwise take the upload over or end it.
bool TUpload::FromServer() const {
    return Phase != TPhase::Sending ||
           (Udp1->PeerIsRemoteHost() && Udp1->PeerPort == Udp1->RemotePort());
}

void TUpload::StrangerReceived(const TAnswer& answer) {
    Trace("datagram from %1 port %2: unknown transfer ID", Udp1->PeerAddress, Udp1->PeerPort);
    // The sender is told, as TFTP asks, unless it sent an error itself: two endpoints that
    // answer each other's errors would never stop.
    if (answer.Kind != TAnswer::Error) {
        Tftp::PacketBuffer refusal;
        const int length =
            Tftp::MakeErrorPacket(refusal, Tftp::ErrorUnknownTransfer, "Unknown transfer ID");
        Udp1->ReplyText(refusal.data(), length);
    }
}

bool TUpload::AwaitsServer() const {
    return Phase == TPhase::AwaitingAck0 || Phase == TPhase::Negotiating ||
           Phase == TPhase::Sending;
}

// The plain write request is out: acknowledgement 0 starts the data.
void TUpload::AwaitingAck0Read(const TAnswer& answer) {
    switch (answer.Kind) {
    case TAnswer::Ack:
        Trace("  ack recved(block#%1)", answer.Reply.Number);
        if (answer.Reply.Number == 0) {
            RequestAccepted();
        } else {
            UnexpectedAck(answer.Reply.Number);
        }
        break;
    case TAnswer::Error:
        ErrorReceived(answer.Reply);
        break;
    case TAnswer::OptionAck:
    case TAnswer::Other:
        UnknownReceived();
        break;
    }
}

// The write request asked for options: the server grants them, ignores them or refuses them.
void TUpload::NegotiatingRead(const TAnswer& answer) {
    switch (answer.Kind) {
    case TAnswer::OptionAck:
        OptionAckReceived(answer.Datagram);
        break;
    case TAnswer::Ack:
        Trace("  ack recved(block#%1)", answer.Reply.Number);
        if (answer.Reply.Number == 0) {
            Trace("options ignored by the server");
            RequestAccepted();
        } else {
            UnexpectedAck(answer.Reply.Number);
        }
        break;
    case TAnswer::Error:
        if (answer.Reply.Number == Tftp::ErrorOptionRefused) {
            // A server that refuses the options may still take the file as plain TFTP.
            Trace("options refused, request again without options");
            SendWriteRequest(Tftp::OptionRequest());
        } else {
            ErrorReceived(answer.Reply);
        }
        break;
    case TAnswer::Other:
        UnknownReceived();
        break;
    }
}

// DATA blocks are out: each acknowledgement moves the window on, until the last block's ends
// the upload.
void TUpload::SendingRead(const TAnswer& answer) {
    switch (answer.Kind) {
    case TAnswer::OptionAck:
        if (!Asked.Any()) {
            UnknownReceived();
            break;
        }
        // The server sends its option acknowledgement again when block 1 did not reach it:
        // that is a repeated acknowledgement 0.
        Trace("  oack recved again");
        AckReceived(0);
        break;
    case TAnswer::Ack:
        AckReceived(answer.Reply.Number);
        break;
    case TAnswer::Error:
        ErrorReceived(answer.Reply);
        break;
    case TAnswer::Other:
        UnknownReceived();
        break;
    }
}

void TUpload::RequestAccepted() {
    if (!Udp1->PeerIsRemoteHost()) {
        Trace("answered from %1", Udp1->PeerAddress);
    }
    Udp1->SetRemoteToPeer();
    Phase = TPhase::Sending;
    Acknowledged(0);
}

void TUpload::OptionAckReceived(QByteArrayView datagram) {
    const auto options = Tftp::ParseOptionAck(datagram);
    const auto granted = options ? Tftp::AcceptOptionAck(Asked, *options) : std::nullopt;
    if (!granted) {
        // The refusal goes to the port the acknowledgement came from.
        Udp1->SetRemoteToPeer();
        Trace("bad option acknowledgement");
        PacketLen =
            Tftp::MakeErrorPacket(Packet, Tftp::ErrorOptionRefused, "bad option acknowledgement");
        Udp1->SendText(Packet.data(), PacketLen);
        Fail(trBadPacket, QStringLiteral("bad option acknowledgement"));
        return;
    }
    BlockSize = granted->BlockSize;
    WindowSize = granted->WindowSize;
    for (const QByteArray& name : granted->NotAsked) {
        Trace("option not asked, ignored: %1", QString::fromLatin1(name));
    }
    Trace("options acked: blksize=%1 windowsize=%2", BlockSize, WindowSize);
    RequestAccepted();
}

void TUpload::AckReceived(quint16 block) {
    Trace("  ack recved(block#%1)", block);
    // The block this acknowledges, of those sent: numbers on the wire wrap from 65535 to 0, so
    // it is the last one sent whose low 16 bits match.
    const qint32 acked = BlockNo - qint32(quint16(quint16(BlockNo) - block));
    if (acked > AckedNo) {
        Acknowledged(acked);
        return;
    }
    if (acked < AckedNo) {
        // Overtaken on the way by a later one: it tells nothing new.
        Trace("??? ack blockno=%1, older than block#%2: ignored", block, AckedNo);
        return;
    }
    UnexpectedAck(block);
}

void TUpload::UnexpectedAck(quint16 block) {
    Trace("??? ack blockno=%1, but I expected %2", block, BlockNo);
    if (WindowSize > 1) {
        // A window's receiver acknowledges its last block in order once more when a later one
        // came first: the next block was lost, or is late. The window starts again after it at
        // once, however soon, unless the server may be answering blocks sent again.
        if (!AnswersResent()) {
            Trace("window ack block#%1, resend from block#%2", AckedNo, AckedNo + 1);
            if (SendUnacknowledged(TSendCause::Answer)) {
                Recheck();
            }
        } else if (!Rechecking) {
            Recheck();
        }
        return;
    }
    if (SentMomentsAgo()) {
        // A server sends its last acknowledgement again when it has waited in vain for the
        // next packet, a tenth of a second or more after the first: the packet was lost, so it
        // goes out again at once, every time. A copy made on the way, or an answer to a send
        // the time-out repeated, arrives within a few round trips of the original, which was
        // answered already; answering these too would let each one add a copy of every later
        // block for the rest of the upload (the Sorcerer's Apprentice of TFTP). Such a copy
        // changes nothing, not even the time-out under way.
        Trace("same ack again too soon, not resent");
        return;
    }
    SendUnacknowledged(TSendCause::Answer);
}

void TUpload::Acknowledged(qint32 block) {
    const qint64 now = SendClock.nsecsElapsed();
    const qint64 answeredAfterNs = now - LastSendNs;
    if (block == BlockNo && SampleFromNs >= 0) {
        RoundTrip.Sample(now - SampleFromNs);
    }
    const qint32 before = AckedNo;
    AckedNo = block;
    LastAnswerAfterNs = answeredAfterNs;
    if (AckedNo == LastBlock()) {
        if (OnProgress) {
            const TTold told = Told();
            OnProgress(FileSize, FileSize);
            if (!told.GoesOn()) {
                return;
            }
        }
        End(trCompleted);
        return;
    }
    const auto step = [](qint32 n) {
        return n < 0 ? -1 : n / ProgressStep;
    };
    if (step(AckedNo) != step(before) && OnProgress) {
        const TTold told = Told();
        OnProgress(qint64(AckedNo) * BlockSize, FileSize);
        if (!told.GoesOn()) {
            return;
        }
    }
    qint32 from = AckedNo + 1;
    // A server that counts its windows from where it took up the blocks again may wait for one
    // more than the window sent: a few round trips without progress send it again.
    const bool recheck = AckedNo < BlockNo;
    if (recheck) {
        if (!AnswersResent()) {
            // The server kept what came up to this block and lost the next, or has it late:
            // the window starts again right after it.
            Trace("window ack block#%1, resend from block#%2", AckedNo, from);
        } else {
            // The server answers a block it had already, and the next one is on its way, as
            // are those after it: only the window's new blocks follow them, and count as sent
            // again with them.
            from = BlockNo + 1;
            RestartTo = qMin(LastBlock(), AckedNo + WindowSize);
            Trace("window ack block#%1, send from block#%2", AckedNo, from);
        }
    }
    if (SendBlocks(from, TSendCause::Answer)) {
        if (recheck) {
            Recheck();
        }
        AwaitAnswer(answeredAfterNs);
    }
}

bool TUpload::AnswersResent() {
    // Blocks sent again reach a server that has them already, or overtake their own late first
    // sends, and it answers those it did not expect with its last block in order, as it
    // answers blocks out of order: somewhere from just before the first of them to the last.
    // Which of the two such an acknowledgement is cannot be told; it is let be, and the window
    // goes again if nothing follows it soon.
    const qint64 now = SendClock.nsecsElapsed();
    if (AckedNo < RestartFrom - 1 || AckedNo > RestartTo ||
        now - RestartNs >= RoundTrip.CopyWindowNs(PeriodNs())) {
        return false;
    }
    Trace("perhaps the answer to blocks sent again: not resent");
    return true;
}

void TUpload::Recheck() {
    // Were it a block out of order after all, the server waits for the window again: a few
    // round trips without progress tell, not the period. The round trip is measured on single
    // blocks; the last answer tells how long a window of them takes.
    const qint64 soonNs =
        qMin(qMax(RoundTrip.AnswerWithinNs(PeriodNs()), 2 * LastAnswerAfterNs), PeriodNs());
    Rechecking = true;
    Timer1->stop();
    Timer1->setInterval(int(qMax<qint64>(1, (soonNs + 999999) / 1000000)));
    Timer1->start();
}

void TUpload::ErrorReceived(const Tftp::Reply& reply) {
    Trace("Error Packet Recved");
    Trace("  ErrCode %1", reply.Number);
    if (TraceWanted()) {
        OnTrace(reply.Number == 0 ? QStringLiteral("ErrMsg: ") + DecodeUtf8OrShiftJis(reply.Message)
                                  : Tftp::ErrorCodeText(reply.Number));
    }
    // The command line shows the server's own words, which the trace leaves out for codes
    // other than 0.
    const QString message = DecodeUtf8OrShiftJis(reply.Message);
    FServerError = QStringLiteral("error %1: %2")
                       .arg(reply.Number)
                       .arg(message.isEmpty() ? Tftp::ErrorCodeText(reply.Number) : message);
    Fail(trBadPacket, FServerError);
}

void TUpload::UnknownReceived() {
    // Not the server's answer: keep waiting for it, retransmissions included.
    Trace("Unknown packet recved");
}

// Time-outs resend what the server has not acknowledged, until the last send's ends the upload.
void TUpload::Timer1Timer() {
    if (!AwaitsServer()) {
        return;
    }
    if (Waiting()) {
        const qint64 leftNs = WaitDeadlineNs - SendClock.nsecsElapsed();
        if (leftNs <= 0) {
            Trace("the server did not answer in %1 s", Target.WaitForTarget);
            End(trTimeout);
            return;
        }
        const int secondsLeft = int((leftNs + WaitStepNs() - 1) / WaitStepNs());
        Trace("waiting for the server (%1 s left)", secondsLeft);
        // The device may come up at any of the name's addresses: each step asks the next.
        if (Addresses.size() > 1) {
            AddressIndex = (AddressIndex + 1) % Addresses.size();
            Udp1->Close();
            if (!OpenServer()) {
                return;
            }
        }
        // Told after the request went out: whoever hears it may end the upload.
        if (SendPacket(TSendCause::Timeout) && OnWait) {
            OnWait(secondsLeft);
        }
        return;
    }
    if (Rechecking) {
        Trace("no progress after block#%1, resend from block#%2", AckedNo, AckedNo + 1);
        SendUnacknowledged(TSendCause::Answer);
        return;
    }
    // A refused request went again sooner than the period; what follows has the period.
    if (Timer1->interval() != Period) {
        Timer1->stop();
        Timer1->setInterval(Period);
    }
    ++RetryCount;
    if (RetryCount >= MaxSends) {
        // Only the last block's acknowledgement is missing: not a window of which nothing came.
        FAllDataSent =
            Phase == TPhase::Sending && BlockNo == LastBlock() && AckedNo == LastBlock() - 1;
        End(trTimeout);
        return;
    }
    Trace("timeout! resend packet(%1times)", RetryCount);
    SendUnacknowledged(TSendCause::Timeout);
}

void TUpload::Udp1Error(QObject*, quint16 Error) {
    if (!AwaitsServer()) {
        return;
    }
    const QString why = Error == WsaConnectionRefused ? QStringLiteral("port unreachable")
                                                      : WinSock::ErrorText(Error);
    // A reply to a stranger whose port has closed comes back too: it says nothing of the server,
    // and anyone who can send a datagram here could otherwise end the upload.
    if (!Udp1->ErrorAboutRemote()) {
        Trace("%1 about %2, not the server: ignored", why, Udp1->ErrorAboutText());
        return;
    }
    Trace("socket error: %1", why);
    // The path's word that a datagram was too large changes nothing: the system sends smaller
    // fragments from now on.
    if (Error == WsaMessageSize) {
        return;
    }
    // A device that stops answering ARP a moment (one that erases its flash) is not reached by
    // that send, as if it had been lost; the next one may be.
    if ((Error == WsaHostUnreachable || Error == WsaNetworkUnreachable) &&
        (Waiting() || RetryCount + 1 < MaxSends)) {
        Trace("counted as a lost packet");
        return;
    }
    // Nothing listens yet where the request went, and there is no other address to try: a
    // server that is starting, or restarting between files, opens its port a moment later. The
    // request goes again after a second instead of a whole period, and only the last send's
    // refusal ends the upload.
    if (Error == WsaConnectionRefused && Phase != TPhase::Sending && !Waiting() &&
        AddressIndex + 1 >= Addresses.size() && RetryCount + 1 < MaxSends) {
        const int soon = qMin(Period, FWaitStepMs);
        Trace("the request goes again in %1 ms", soon);
        Timer1->stop();
        Timer1->setInterval(soon);
        Timer1->start();
        return;
    }
    Unreachable(why);
}

void TUpload::Unreachable(const QString& why) {
    const QString address = Udp1->RemoteAddress();
    if (Phase != TPhase::Sending && AddressIndex + 1 < Addresses.size()) {
        // Another of the name's addresses may have the server: a name with IPv4 and IPv6
        // addresses whose server listens on one of them only.
        ++AddressIndex;
        Trace("%1 at %2, trying %3", why, address, Addresses[AddressIndex].Text());
        Udp1->Close();
        if (OpenServer()) {
            SendPacket(TSendCause::Request);
        }
        return;
    }
    if (Waiting()) {
        // A device that is not up yet answers with ICMP, or its network is not there yet: the
        // next step asks again.
        if (!Timer1->isActive()) {
            Timer1->start();
        }
        return;
    }
    Fail(trSocketError, QStringLiteral("%1: %2 port %3").arg(why, address).arg(Udp1->RemotePort()));
}

void TUpload::Abort() {
    End(trAborted);
}

bool TUpload::SendUnacknowledged(TSendCause cause) {
    if (Phase == TPhase::Sending) {
        return SendBlocks(AckedNo + 1, cause);
    }
    if (cause == TSendCause::Answer) {
        Trace("will Send Data packet. block=%1", Tftp::PacketNumber(Packet));
    }
    SampleFromNs = -1;
    return SendPacket(cause);
}

qint64 TUpload::AcknowledgedBytes() const {
    return qBound<qint64>(0, qint64(AckedNo) * BlockSize, FileSize);
}

qint32 TUpload::LastBlock() const {
    return qint32(FileSize / BlockSize) + 1;
}

bool TUpload::BuildBlock(qint32 block) {
    const qint64 offset = qint64(block - 1) * BlockSize;
    const qint64 length = qMin<qint64>(BlockSize, FileSize - offset);
    if (!Buffered(offset, length)) {
        return false;
    }
    PacketLen = Tftp::MakeDataPacket(Packet, quint16(block),
                                     QByteArrayView(Buffer).sliced(offset - BufferOffset, length));
    return true;
}

// Sends the window after the last acknowledged block, from block `from` on. False when the
// upload ended on the way.
bool TUpload::SendBlocks(qint32 from, TSendCause cause) {
    const qint32 last = qMin(LastBlock(), qint32(qMin<qint64>(qint64(qMax(AckedNo, 0)) + WindowSize,
                                                              std::numeric_limits<qint32>::max())));
    // A window sent again holds blocks the server may have already, which it answers with its
    // last block in order.
    if (from <= BlockNo) {
        RestartFrom = from;
        RestartTo = BlockNo;
        RestartNs = SendClock.nsecsElapsed();
    }
    for (qint32 block = from; block <= last; ++block) {
        if (!BuildBlock(block)) {
            return false;
        }
        const bool first = block > BlockNo;
        if (first) {
            BlockNo = block;
            Trace("make data packet block#%1", BlockNo);
        }
        if (cause == TSendCause::Answer) {
            Trace("will Send Data packet. block=%1", Tftp::PacketNumber(Packet));
        }
        if (!SendPacket(cause)) {
            return false;
        }
        SampleFromNs = first ? LastSendNs : -1;
    }
    return true;
}

void TUpload::AwaitAnswer(qint64 lastAnsweredAfterNs) {
    // A server on the same machine or network answers within tens of microseconds. Going to
    // sleep in the event loop and being woken for each answer would then take longer than the
    // answer itself, and add up to much of a large file's time: so the thread waits for it
    // awake, briefly, and the event loop then reports it at once. Slow answers are not waited
    // for, so a distant or silent server costs no processor time; nor are answers from a server
    // that could not answer while the thread waited (one on the same thread, or on a machine
    // with a single processor busy).
    if (lastAnsweredAfterNs > qint64(AnswerWaitUs) * 1000 || FWaitsInVain >= MaxWaitsInVain) {
        return;
    }
    FWaitsInVain = Udp1->AwaitReadable(AnswerWaitUs) ? 0 : FWaitsInVain + 1;
}

bool TUpload::SendPacket(TSendCause cause) {
    // A new request or an answer starts the period and the count of time-outs afresh; for a
    // window the period runs from its last block, after which the server answers. A time-out's
    // resend keeps the period under way.
    if (cause != TSendCause::Timeout) {
        Timer1->stop();
        RetryCount = 0;
        if (Rechecking) {
            Rechecking = false;
            Timer1->setInterval(Period);
        }
    }
    Udp1->SendText(Packet.data(), PacketLen);
    if (Udp1->LastSendError != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(Udp1->LastSendError));
        Trace("send failed: %1", why);
        Unreachable(why);
        return false;
    }
    LastSendNs = SendClock.nsecsElapsed();
    if (!Timer1->isActive()) {
        Timer1->start();
    }
    return true;
}

void TUpload::TellServer(const QString& why) {
    // An ERROR's message holds at most 255 bytes; a reason is cut between characters.
    QString message = why;
    while (message.toUtf8().size() > Tftp::MaxErrorMessage) {
        message.chop(1);
    }
    Trace("error sent to the server: %1", message);
    PacketLen = Tftp::MakeErrorPacket(Packet, 0, message.toUtf8());
    Udp1->SendText(Packet.data(), PacketLen);
}

bool TUpload::SentMomentsAgo() const {
    return SendClock.nsecsElapsed() - LastSendNs < RoundTrip.CopyWindowNs(PeriodNs());
}

qint64 TUpload::PeriodNs() const {
    return qint64(Period) * 1000000;
}

qint64 TUpload::WaitStepNs() const {
    return qint64(FWaitStepMs) * 1000000;
}

bool TUpload::Waiting() const {
    return WaitDeadlineNs >= 0;
}

void TUpload::WaitEnded() {
    if (Waiting()) {
        WaitDeadlineNs = -1;
        Timer1->setInterval(Period);
    }
}

void TUpload::End(TransferResult result) {
    if (Phase == TPhase::Ended) {
        return;
    }
    // A server that has taken the request waits for the next block until its own time-out,
    // holding part of the file: the user's abort, or a file that cannot be read on, is told.
    // Before its first answer its transfer ID is not known, and nothing is.
    if (Phase == TPhase::Sending && (result == trAborted || result == trFileOpenError)) {
        TellServer(result == trAborted ? QStringLiteral("upload aborted") : FFailureText);
    }
    Phase = TPhase::Ended;
    Lookup1->Cancel();
    Timer1->stop();
    Udp1->Close();
    Source.close();
    Buffer = QByteArray();
    // A copy, since the one told may replace OnEnd or delete the upload with it; nothing here
    // is touched after it.
    if (const auto onEnd = OnEnd) {
        onEnd(result);
    }
}
