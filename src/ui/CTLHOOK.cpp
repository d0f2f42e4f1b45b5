#include "ui/CTLHOOK.h"

#include "net/ApplicationException.h"

#include <QEvent>
#include <QWidget>
#include <stdexcept>

TControlHook::TControlHook(QObject* Owner)
    : QObject(Owner) {}

TControlHook::~TControlHook() {
    SetHooked(false);
}

void TControlHook::SetControl(QWidget* Value) {
    SetHooked(false);
    FControl = Value;
    SetHooked(true);
}

void TControlHook::SetTarget(THookTarget Value) {
    SetHooked(false);
    FTarget = Value;
    SetHooked(true);
}

void TControlHook::Loaded() {
    SetControl(FControl);
}

void TControlHook::HookNotify(THookEvent Event) {
    if (Event == hnRemove) {
        FControl = nullptr;
    } else {
        SetHooked(true);
    }
}

void TControlHook::ComponentRemoved(QObject* Component) {
    if (Component == FControl) {
        HookNotify(hnRemove);
    }
}

QWidget* TControlHook::GetHookControl() const {
    if (FTarget != htForm) {
        return FControl;
    }
    for (QObject* owner = FControl ? static_cast<QObject*>(FControl)
                                   : const_cast<TControlHook*>(this);
         owner; owner = owner->parent()) {
        auto* widget = qobject_cast<QWidget*>(owner);
        if (widget && widget->isWindow()) {
            return widget;
        }
    }
    return nullptr;
}

void TControlHook::SetHooked(bool Install) {
    if (!Install) {
        if (FHookedWnd) {
            FHookedWnd->removeEventFilter(this);
        }
        FHookedWnd = nullptr;
        return;
    }
    // A re-hook request may find the hook installed already by a later write.
    if (FHookedWnd) {
        return;
    }
    QWidget* widget = GetHookControl();
    if (widget) {
        connect(widget, &QObject::destroyed, this, &TControlHook::ComponentRemoved,
                Qt::UniqueConnection);
        FHookedWnd = widget;
        widget->installEventFilter(this);
    } else if (FTarget == htForm) {
        throw std::runtime_error("フック先を特定できません。");
    }
}

bool TControlHook::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched != FHookedWnd) {
        return QObject::eventFilter(Watched, Event);
    }
    if (Event->type() == QEvent::ParentChange || Event->type() == QEvent::WinIdChange) {
        // The window is being made anew: come off now, and hook again once that is done.
        QMetaObject::invokeMethod(this, Guarded([this] { HookNotify(hnRehook); }),
                                  Qt::QueuedConnection);
        SetHooked(false);
    }
    return WndProc(Watched, Event);
}

bool TControlHook::WndProc(QObject*, QEvent*) {
    return false;
}
