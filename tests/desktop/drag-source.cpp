// drag-source FILE...
//
// A window that starts a drag of the given files, as a file manager does, when a mouse button
// goes down on it. Used to drop files on the program under a real X server.

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QList<QUrl> urls)
        : urls(std::move(urls)) {
        setWindowTitle(QStringLiteral("drag-source"));
        resize(160, 80);
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;
        data->setUrls(urls);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

private:
    QList<QUrl> urls;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString& path : app.arguments().mid(1)) {
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    }
    DragSource source(urls);
    source.move(20, 20);
    source.show();
    return app.exec();
}
