// How the trace window is put together: one list filling it, at its fixed place and size.
#include "transfer/debug.h"

#include "transfer/LineListBox.h"

#include <QVBoxLayout>

void TDebugForm::CreateControls() {
    DebugListBox = new TLineListBox(this);
    setObjectName(QStringLiteral("DebugForm"));
    setWindowTitle(QStringLiteral("DebugForm"));
    DebugListBox->setObjectName(QStringLiteral("DebugListBox"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(DebugListBox);
    move(690, 133);
    resize(OuterSize);
}
