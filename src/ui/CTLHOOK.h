#pragma once

#include <QObject>
#include <QPointer>

class QEvent;
class QWidget;

enum THookTarget : quint8 {
    htControl, // the control itself
    htForm,    // the first window up the control's owner chain
};

enum THookEvent : quint8 {
    hnRemove = 1, // the control is being destroyed
    hnRehook = 2, // the hooked widget's window was made again
};

// Sees every event of one widget before the widget does: the control named by Control, or the
// window that owns it. When the widget's native window is made anew (reparenting, or destroy()
// and create()) the hook comes off and, once that is over, installs itself again.
class TControlHook : public QObject {
    Q_OBJECT

public:
    explicit TControlHook(QObject* Owner = nullptr);
    ~TControlHook() override;

    QWidget* Control() const { return FControl; }
    // Writing removes the hook and installs it afresh, also for the value already held.
    void SetControl(QWidget* Value);
    THookTarget Target() const { return FTarget; }
    void SetTarget(THookTarget Value);
    // The widget the hook is installed on; null while nothing is hooked.
    QWidget* HookedWnd() const { return FHookedWnd; }

    // Installs the hook once all properties are set.
    virtual void Loaded();
    virtual void HookNotify(THookEvent Event);

protected:
    // An event of the hooked widget; true when it is consumed. By default it is passed on.
    virtual bool WndProc(QObject* Watched, QEvent* Event);
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private slots:
    void ComponentRemoved(QObject* Component);

private:
    QWidget* GetHookControl() const;
    void SetHooked(bool Install);

    THookTarget FTarget = htControl;
    QWidget* FControl = nullptr;
    QPointer<QWidget> FHookedWnd;
};
