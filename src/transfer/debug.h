#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

class TLineListBox;

// The trace window: what the upload does, line by line, for diagnosis. It records only while
// it is shown; closing it hides it and keeps its lines.
class TDebugForm : public QWidget {
    Q_OBJECT

public:
    explicit TDebugForm(QWidget* parent = nullptr);

    void Append(const QString& Line);
    const QStringList& Lines() const;

    TLineListBox* DebugListBox;

signals:
    void Appended(const QString& Line);

protected:
    bool event(QEvent* event) override;

private:
    // Makes the controls; in debugLayout.cpp.
    void CreateControls();

    // The window's size with its frame.
    static constexpr QSize OuterSize{356, 272};
    bool Framed = false;
};

// The program's one trace window; null until the application creates it.
extern TDebugForm* DebugForm;

// Appends a line to the trace window while it is shown, and does nothing otherwise.
void DebugWrite(const QString& Text);

// Whether the trace window records lines now, so that a caller can spare itself making them.
bool TraceShown();
