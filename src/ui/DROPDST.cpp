#include "ui/DROPDST.h"

#include "net/ApplicationException.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

bool CarriesLocalFiles(const QMimeData* Data) {
    if (!Data || !Data->hasUrls()) {
        return false;
    }
    const QList<QUrl> urls = Data->urls();
    return std::any_of(urls.cbegin(), urls.cend(),
                       [](const QUrl& url) { return url.isLocalFile(); });
}

// A file manager proposes a move for a plain drag within one file system, and a source told
// that its files were moved may delete them: a dropped file is only read, so every drop is a
// copy, and a source that cannot copy is refused.
bool TakeAsCopy(QDropEvent* Event) {
    if (!(Event->possibleActions() & Qt::CopyAction)) {
        return false;
    }
    Event->setDropAction(Qt::CopyAction);
    return true;
}

} // namespace

TDropDst::TDropDst(QObject* Owner)
    : TControlHook(Owner) {}

void TDropDst::SetAcceptDrop(bool Value) {
    if (Value != FAcceptDrop) {
        FAcceptDrop = Value;
        UpdateDragAccept();
    }
}

void TDropDst::Loaded() {
    TControlHook::Loaded();
    UpdateDragAccept();
}

void TDropDst::HookNotify(THookEvent Event) {
    TControlHook::HookNotify(Event);
    UpdateDragAccept();
}

void TDropDst::UpdateDragAccept() {
    if (HookedWnd()) {
        HookedWnd()->setAcceptDrops(FAcceptDrop);
    }
}

bool TDropDst::WndProc(QObject* Watched, QEvent* Event) {
    switch (Event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(Event);
        if (FAcceptDrop && CarriesLocalFiles(drag->mimeData()) && TakeAsCopy(drag)) {
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(Event);
        if (!TakeAsCopy(drop)) {
            drop->ignore();
            return true;
        }
        Guarded([this, drop] { DoFileDrop(drop); })();
        drop->accept();
        return true;
    }
    default:
        return TControlHook::WndProc(Watched, Event);
    }
}

void TDropDst::DoFileDrop(QDropEvent* Event) {
    if (!OnFileDrop) {
        return;
    }
    QStringList Files;
    for (const QUrl& url : Event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            Files.append(url.toLocalFile());
        }
    }
    const QPoint point = Event->position().toPoint();
    OnFileDrop(this, Files, point.x(), point.y());
}
