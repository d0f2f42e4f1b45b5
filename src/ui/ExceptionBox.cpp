#include "ui/ExceptionBox.h"

#include <QApplication>
#include <QMessageBox>

ExceptionBoxContent ExceptionBoxFor(const std::exception& e) {
    return {QGuiApplication::applicationDisplayName(), QString::fromUtf8(e.what())};
}

void ShowException(const std::exception& e) {
    const ExceptionBoxContent content = ExceptionBoxFor(e);
    QMessageBox box(QMessageBox::Critical, content.Title, content.Text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
