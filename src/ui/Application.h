#pragma once

#include <QApplication>

// The application object: sets the title every window and message box uses and routes
// exceptions that leave event handlers to the one exception display.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;
};
