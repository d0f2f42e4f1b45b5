#pragma once

#include "transfer/RetransmitTimer.h"
#include "transfer/TftpPacket.h"
#include "transfer/TransferResult.h"

#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>

class QProgressBar;
class QPushButton;
class QTimer;
class TServerEntry;
class TUdp;

// The modal progress dialog that carries out one upload: a TFTP write request, then the file's
// DATA blocks in lock-step with the server's acknowledgements. Showing it modally runs the upload
// for Entry and returns a TransferResult.
class TProgressForm : public QDialog {
    Q_OBJECT

public:
    explicit TProgressForm(QWidget* parent = nullptr);

    TUdp* Udp1;
    TRetransmitTimer* Timer1;
    QTimer* SendWRQTimer;
    QProgressBar* ProgressBar1;
    QPushButton* AbortBtn;

    // The entry to upload; set before each showing, not owned.
    TServerEntry* Entry = nullptr;

    void SendWRQTimerTimer();
    void Udp1Read(QObject* Sender);
    void Timer1Timer();
    void AbortBtnClick();

    // The packet sent last (write request or current DATA block) and its length.
    Tftp::PacketBuffer Packet{};
    qint32 PacketLen = 0;
    // Blocks built so far; the block whose acknowledgement is awaited.
    qint32 BlockNo = 0;
    QByteArray FileData;
    qint32 RetryCount = 0;
    // When the current packet last went out, on SendClock.
    qint64 LastSendNs = 0;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // Makes the controls and components; in UProgressFormLayout.cpp.
    void CreateControls();
    bool ReadLocalFile();
    void AckReceived(quint16 block);
    void ErrorReceived(const Tftp::Reply& reply);
    void SendPacket();
    bool SentMomentsAgo() const;
    void End(TransferResult result);

    QElapsedTimer SendClock;
};

// The program's one progress dialog; null until the program creates it.
extern TProgressForm* ProgressForm;
