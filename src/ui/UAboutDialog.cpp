#include "ui/UAboutDialog.h"

#include "net/ApplicationException.h"
#include "transfer/debug.h"
#include "ui/URLLabel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QUrl>

TAboutDlg* AboutDlg = nullptr;

QString HomePageAddress() {
    const QString configured = QStringLiteral(ZANVEL_HOME_PAGE);
    if (!configured.isEmpty()) {
        return configured;
    }
    // Installed, the program lives in <prefix>/lib/zanvel-tftp and its README in
    // <prefix>/share/doc/zanvel-tftp.
    const QFileInfo installed(QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../../share/doc/zanvel-tftp/README.md"));
    return QUrl::fromLocalFile(installed.exists() ? installed.canonicalFilePath()
                                                  : QStringLiteral(ZANVEL_SOURCE_README))
        .toString();
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
