// How the progress dialog is put together: its bar and button, their fixed places and names, the
// endpoint and the two timers, and which handler each of them calls.
#include "transfer/UProgressForm.h"

#include "net/ApplicationException.h"
#include "net/Udp.h"

#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace {

constexpr int RetransmitMs = 5000;

} // namespace

void TProgressForm::CreateControls() {
    Udp1 = new TUdp(this);
    Timer1 = new TRetransmitTimer(this);
    SendWRQTimer = new QTimer(this);
    ProgressBar1 = new QProgressBar(this);
    AbortBtn = new QPushButton(this);
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
