#include "UProgressForm.h"

#include "ApplicationException.h"
#include "CodePage.h"
#include "RetransmitTimer.h"
#include "Udp.h"
#include "debug.h"
#include "serverEntry.h"

#include <QCloseEvent>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

TProgressForm* ProgressForm = nullptr;

namespace {

constexpr int RetransmitMs = 5000;
constexpr int MaxTimeouts = 5;
// Progress is redrawn every 32 blocks (16 KiB).
constexpr int ProgressStep = 32;

// A trace line is only made when the trace window records it: an upload writes three for
// every block.
template <typename... Numbers> void Trace(const char* Text, Numbers... Values) {
    if (!TraceShown()) {
        return;
    }
    QString line = QString::fromLatin1(Text);
    ((line = line.arg(Values)), ...);
    DebugWrite(line);
}

TransferResult OpenFailureResult(const char* message) {
    const QByteArray text(message);
    if (text == "cannot create socket") {
        return trSocketCreateError;
    }
    if (text == "host lookup failure") {
        return trHostNotFound;
    }
    return trSocketError;
}

} // namespace

TProgressForm::TProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , Udp1(new TUdp(this))
    , Timer1(new TRetransmitTimer(this))
    , SendWRQTimer(new QTimer(this))
    , ProgressBar1(new QProgressBar(this))
    , AbortBtn(new QPushButton(this)) {
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(QStringLiteral("ファイル送信中 - Zanvel TFTP"));
    setFixedSize(240, 72);
    move(237, 373);

    Udp1->OnRead = [this](QObject* Sender) {
        Udp1Read(Sender);
    };
    Timer1->setInterval(RetransmitMs);
    connect(Timer1, &TRetransmitTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
    SendWRQTimer->setInterval(1);
    connect(SendWRQTimer, &QTimer::timeout, this, Guarded([this] { SendWRQTimerTimer(); }));

    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 16, 225, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);

    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setGeometry(81, 40, 88, 25);
    AbortBtn->setText(QStringLiteral("キャンセル"));
    AbortBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(AbortBtn, &QPushButton::clicked, this, Guarded([this] { AbortBtnClick(); }));
}

void TProgressForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window coming back from minimised gets a spontaneous show event too; only the dialog's
    // own showing starts an upload. It starts from the modal loop, whose end it decides.
    if (!event->spontaneous()) {
        SendWRQTimer->start();
    }
}

void TProgressForm::closeEvent(QCloseEvent* event) {
    if (isVisible()) {
        event->ignore();
        AbortBtnClick();
    } else {
        QDialog::closeEvent(event);
    }
}

void TProgressForm::reject() {
    AbortBtnClick();
}

void TProgressForm::SendWRQTimerTimer() {
    if (!SendWRQTimer->isActive()) {
        return;
    }
    SendWRQTimer->stop();
    ProgressBar1->setValue(0);
    BlockNo = 0;
    RetryCount = 0;
    ResentOnAck = false;

    Udp1->Port = Entry->ServerPort;
    Udp1->Address = Entry->ServerAddress;
    try {
        Udp1->Open();
    } catch (const std::exception& e) {
        End(OpenFailureResult(e.what()));
        return;
    }

    if (!ReadLocalFile()) {
        Udp1->Close();
        End(trFileOpenError);
        return;
    }
    const QByteArray name = Entry->RemoteFile.toUtf8();
    if (name.size() > Tftp::MaxNameLength) {
        Udp1->Close();
        DebugWrite(QStringLiteral("remote file name too long"));
        End(trFileOpenError);
        return;
    }
    DebugWrite(QStringLiteral("make WQR packet"));
    PacketLen = Tftp::MakeWriteRequest(Packet, name);
    SendPacket();
}

bool TProgressForm::ReadLocalFile() {
    QFile SrcFile(Entry->LocalFile);
    if (!SrcFile.open(QIODevice::ReadOnly)) {
        return false;
    }
    DebugWrite(QStringLiteral("file opened"));
    const qint64 size = SrcFile.size();
    if (size <= 0) {
        return false;
    }
    try {
        FileData = QByteArray(size, Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const qint64 read = SrcFile.read(FileData.data(), size);
    if (read < 0) {
        return false;
    }
    // A tail the read did not deliver goes out as zero bytes.
    std::fill(FileData.begin() + read, FileData.end(), '\0');
    if (read != size) {
        Trace("size error! filesize=%1 readlen=%2", size, read);
    }
    return true;
}

void TProgressForm::Udp1Read(QObject*) {
    char buffer[Tftp::PacketSize];
    qint32 count = 0;
    try {
        count = Udp1->ReceiveText(buffer, sizeof buffer);
    } catch (const std::exception&) {
        // A notification that outlived the upload it belonged to.
        return;
    }
    if (count <= 0) {
        return;
    }
    const std::optional<Tftp::Reply> reply = Tftp::ParseReply(QByteArrayView(buffer, count));
    if (!reply || (reply->Opcode != Tftp::OpAck && reply->Opcode != Tftp::OpError)) {
        // Not the server's answer: keep waiting for it, retransmissions included.
        DebugWrite(QStringLiteral("Unknown packet recved"));
        return;
    }
    Timer1->stop();
    RetryCount = 0;
    if (reply->Opcode == Tftp::OpAck) {
        AckReceived(reply->Number);
    } else {
        ErrorReceived(*reply);
    }
}

void TProgressForm::AckReceived(quint16 block) {
    Trace("  ack recved(block#%1)", block);
    if (block == 0) {
        // The server answers a write request from its transfer port; everything goes there.
        Udp1->SetRemotePort(Udp1->PeerPort);
    }
    // Block numbers on the wire wrap from 65535 to 0, so only the low 16 bits are compared.
    if (block == quint16(BlockNo)) {
        if (PacketLen < Tftp::PacketSize && BlockNo > 0) {
            Udp1->Close();
            ProgressBar1->setValue(ProgressBar1->maximum());
            End(trCompleted);
            return;
        }
        if (BlockNo % ProgressStep == 0) {
            ProgressBar1->setValue(int(qint64(BlockNo) * Tftp::BlockSize * 100 / FileData.size()));
        }
        const qint64 offset = qint64(BlockNo) * Tftp::BlockSize;
        const qint64 length = qMin<qint64>(Tftp::BlockSize, FileData.size() - offset);
        ++BlockNo;
        PacketLen = Tftp::MakeDataPacket(Packet, quint16(BlockNo),
                                         QByteArrayView(FileData).sliced(offset, length));
        Trace("make data packet block#%1", BlockNo);
        ResentOnAck = false;
    } else {
        Trace("??? ack blockno=%1, but I expected %2", block, BlockNo);
        // A repeated acknowledgement sends the current packet again once. Answering every
        // repeat would let each duplicate on the way add a copy of every later block for the
        // rest of the upload (the Sorcerer's Apprentice of TFTP); this way a block goes out at
        // most twice and once more per time-out. A further repeat only waits for a fresh period.
        if (ResentOnAck) {
            Timer1->start();
            return;
        }
        ResentOnAck = true;
    }
    Trace("will Send Data packet. block=%1", Tftp::PacketNumber(Packet));
    SendPacket();
}

void TProgressForm::ErrorReceived(const Tftp::Reply& reply) {
    DebugWrite(QStringLiteral("Error Packet Recved"));
    DebugWrite(QStringLiteral("  ErrCode %1").arg(reply.Number));
    DebugWrite(reply.Number == 0 ? QStringLiteral("ErrMsg: ") + DecodeUtf8OrShiftJis(reply.Message)
                                 : Tftp::ErrorCodeText(reply.Number));
    Udp1->Close();
    End(trBadPacket);
}

void TProgressForm::Timer1Timer() {
    ++RetryCount;
    if (RetryCount >= MaxTimeouts) {
        Timer1->stop();
        Udp1->Close();
        End(trTimeout);
        return;
    }
    Trace("timeout! resend packet(%1times)", RetryCount);
    SendPacket();
}

void TProgressForm::AbortBtnClick() {
    // Also when pressed before the upload began, so that no start is left pending.
    SendWRQTimer->stop();
    Timer1->stop();
    Udp1->Close();
    End(trAborted);
}

void TProgressForm::SendPacket() {
    Udp1->SendText(Packet.data(), PacketLen);
    // A running timer keeps its period; only a stopped one starts a new one.
    if (!Timer1->isActive()) {
        Timer1->start();
    }
}

void TProgressForm::End(TransferResult result) {
    // A large image need not stay in memory until the next upload.
    FileData = QByteArray();
    done(result);
}
