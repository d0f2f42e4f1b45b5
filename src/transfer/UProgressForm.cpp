#include "transfer/UProgressForm.h"

#include "entries/serverEntry.h"
#include "transfer/Upload.h"

#include <QCloseEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QProgressBar>
#include <QTimer>

TProgressForm* ProgressForm = nullptr;

namespace {

// Smaller than this, text is not worth showing.
constexpr int MinTextPixels = 8;

} // namespace

TProgressForm::TProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    CreateControls();
}

void TProgressForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window coming back from minimised gets a spontaneous show event too; only the dialog's
    // own showing starts an upload. It starts from the modal loop, whose end it decides.
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TProgressForm::FormShow() {
    SendWRQTimer->start();
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
    SayOnBar(QString());
    Upload1->Start(*Entry);
}

void TProgressForm::Udp1Read(QObject* Sender) {
    Upload1->Udp1Read(Sender);
}

void TProgressForm::Timer1Timer() {
    Upload1->Timer1Timer();
}

void TProgressForm::Upload1Progress(qint64 Acked, qint64 Total) {
    // Reported every 32 blocks: the wait's text is taken off once, not measured each time.
    if (ProgressBar1->isTextVisible()) {
        SayOnBar(QString());
    }
    ProgressBar1->setValue(Total > 0 ? int(Acked * ProgressBar1->maximum() / Total)
                                     : ProgressBar1->maximum());
}

void TProgressForm::Upload1Wait(int SecondsLeft) {
    SayOnBar(QStringLiteral("機器の応答を待っています（残り %1 秒）").arg(SecondsLeft));
}

void TProgressForm::SayOnBar(const QString& Text) {
    // The bar is narrow: a long wait's text is drawn smaller rather than cut.
    QFont font = this->font();
    const int room = ProgressBar1->contentsRect().width() - 4;
    for (int pixels = QFontInfo(font).pixelSize();
         pixels > MinTextPixels && QFontMetrics(font).horizontalAdvance(Text) > room; --pixels) {
        font.setPixelSize(pixels - 1);
    }
    ProgressBar1->setFont(font);
    ProgressBar1->setTextVisible(!Text.isEmpty());
    // The bar's format reads % as the start of a placeholder.
    ProgressBar1->setFormat(QString(Text).replace(u'%', QStringLiteral("%%")));
    ProgressBar1->setAccessibleDescription(Text);
}

void TProgressForm::AbortBtnClick() {
    // Pressed before the upload began: no start is left pending, and there is no upload to end.
    if (SendWRQTimer->isActive()) {
        SendWRQTimer->stop();
        done(trAborted);
        return;
    }
    Upload1->Abort();
}
