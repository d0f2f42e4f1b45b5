// How the progress dialog is put together: its bar and button, their fixed places and names, the
// upload it shows with its endpoint and timer, the start timer, and which handler each calls.
#include "transfer/UProgressForm.h"

#include "net/ApplicationException.h"
#include "transfer/ScreenPlace.h"
#include "transfer/Upload.h"
#include "transfer/debug.h"

#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

void TProgressForm::CreateControls() {
    Upload1 = new TUpload(this);
    Udp1 = Upload1->Udp1;
    Timer1 = Upload1->Timer1;
    SendWRQTimer = new QTimer(this);
    ProgressBar1 = new QProgressBar(this);
    AbortBtn = new QPushButton(this);
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(QStringLiteral("ファイル送信中 - Zanvel TFTP"));
    setFixedSize(240, 72);
    new TScreenPlace(this, QPoint(237, 373));

    Upload1->OnTrace = [](const QString& Line) {
        DebugWrite(Line);
    };
    Upload1->Tracing = TraceShown;
    Upload1->OnProgress = [this](qint64 Acked, qint64 Total) {
        Upload1Progress(Acked, Total);
    };
    Upload1->OnWait = [this](int SecondsLeft) {
        Upload1Wait(SecondsLeft);
    };
    Upload1->OnEnd = [this](TransferResult Result) {
        done(Result);
    };
    SendWRQTimer->setInterval(1);
    connect(SendWRQTimer, &QTimer::timeout, this, Guarded([this] { SendWRQTimerTimer(); }));

    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 16, 225, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setAccessibleName(QStringLiteral("送信の進捗"));

    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setGeometry(81, 40, 88, 25);
    AbortBtn->setText(QStringLiteral("キャンセル"));
    AbortBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    // Enter sent the entry from the main window: pressed again, or held a moment too long, it
    // lands here and must not stop the upload it started. Esc, Space and a click do.
    AbortBtn->setAutoDefault(false);
    connect(AbortBtn, &QPushButton::clicked, this, Guarded([this] { AbortBtnClick(); }));
}
