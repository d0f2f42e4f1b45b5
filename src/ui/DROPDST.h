#pragma once

#include "ui/CTLHOOK.h"

#include <QStringList>
#include <functional>

class QDropEvent;

// Files dropped on the hooked widget: all local paths of one drop, in the drag's order, and the
// drop point in the widget's coordinates.
using TFileDropEvent = std::function<void(QObject* Sender, const QStringList& Files, int X, int Y)>;

// Makes the hooked widget a target for files dragged from the desktop and turns each drop into
// one OnFileDrop call.
class TDropDst : public TControlHook {
    Q_OBJECT

public:
    explicit TDropDst(QObject* Owner = nullptr);

    TFileDropEvent OnFileDrop;
    bool AcceptDrop() const { return FAcceptDrop; }
    void SetAcceptDrop(bool Value);

    void Loaded() override;
    void HookNotify(THookEvent Event) override;

protected:
    bool WndProc(QObject* Watched, QEvent* Event) override;

private:
    void UpdateDragAccept();
    void DoFileDrop(QDropEvent* Event);

    bool FAcceptDrop = true;
};
