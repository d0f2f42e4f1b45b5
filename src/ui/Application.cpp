#include "Application.h"

#include "ApplicationException.h"
#include "ExceptionBox.h"

#include <QIcon>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv) {
    // The application title. No display name is set: Qt would append it to every window title,
    // and each window carries exactly its own caption.
    setApplicationName(QStringLiteral("Zanvel TFTP"));
    setApplicationVersion(QStringLiteral("1.02"));
    setWindowIcon(QIcon(QStringLiteral(":/pictures/zanvel-tftp.png")));
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
