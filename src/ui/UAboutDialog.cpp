#include "UAboutDialog.h"

#include "FormFont.h"
#include "ModalResult.h"

#include <QLabel>
#include <QPushButton>

TAboutDlg* AboutDlg = nullptr;

TAboutDlg::TAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , OKBtn(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("Zanvel TFTPについて"));
    setFont(FormFont());
    setFixedSize(336, 209);

    auto* Label1 = new QLabel(QStringLiteral("Zanvel TFTP "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(56, 24);
    Label1->adjustSize();
    auto* Label2 = new QLabel(QStringLiteral("version 1.02"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(120, 24);
    Label2->adjustSize();

    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(120, 180, 82, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
}
