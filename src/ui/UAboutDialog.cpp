#include "ui/UAboutDialog.h"

#include "entries/Installation.h"
#include "net/ApplicationException.h"
#include "transfer/debug.h"
#include "ui/URLLabel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QUrl>

TAboutDlg* AboutDlg = nullptr;

QString HomePageAddress() {
    const QString configured = QStringLiteral(ZANVEL_HOME_PAGE);
    if (!configured.isEmpty()) {
        return configured;
    }
    const QString readme = ReadmePath(QCoreApplication::applicationDirPath());
    return readme.isEmpty() ? QString() : QUrl::fromLocalFile(readme).toString();
}

TAboutDlg::TAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    CreateControls();
}

bool TAboutDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonDblClick) {
        Guarded([this] { Image1DblClick(); })();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutDlg::Image1DblClick() {
    // One trace window, shown beside the dialog and brought to the front when already open.
    DebugForm->show();
    DebugForm->raise();
    DebugForm->activateWindow();
}

void TAboutDlg::BitBtn1Click() {
    HomePageLbl->MouseDown(Qt::LeftButton, Qt::NoModifier, QPoint(0, 0));
}
