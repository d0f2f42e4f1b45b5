#include "ui/Application.h"

#include "net/ApplicationException.h"
#include "ui/ExceptionBox.h"
#include "ui/FormFont.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv) {
    // The application title. No display name is set: Qt would append it to every window title,
    // and each window carries exactly its own caption.
    setApplicationName(QStringLiteral("Zanvel TFTP"));
    setApplicationVersion(QStringLiteral(ZANVEL_VERSION));
    setWindowIcon(QIcon(QStringLiteral(":/pictures/zanvel-tftp.png")));
    // Message boxes, menus and Qt's own dialogs are windows of their own, which take the
    // application's font, not the main window's.
    setFont(FormFont());
    // The program speaks Japanese, and so do the texts Qt itself draws: the file dialog, the
    // edit fields' menus, the standard buttons.
    auto* qtTexts = new QTranslator(this);
    if (qtTexts->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(qtTexts);
    }
    SetExceptionDisplay(ShowException);
}

TApplication::~TApplication() {
    SetExceptionDisplay(nullptr);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    // The last net: handlers catch their own exceptions, but none may end the program.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException();
        return false;
    }
}
