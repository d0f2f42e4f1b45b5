// How the About dialog is put together: its picture, texts and buttons, their fixed places and
// names, and which handler each button calls.
#include "ui/UAboutDialog.h"

#include "net/ApplicationException.h"
#include "transfer/ScreenPlace.h"
#include "ui/FormFont.h"
#include "ui/ModalResult.h"
#include "ui/URLLabel.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

void TAboutDlg::CreateControls() {
    Image1 = new QLabel(this);
    Label1 = new QLabel(QStringLiteral("Zanvel TFTP "), this);
    Label2 = new QLabel(QStringLiteral("version " ZANVEL_VERSION), this);
    HomePageLbl = new TURLLabel(this);
    BitBtn1 = new QPushButton(QStringLiteral("作者のページ"), this);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("Zanvel TFTPについて"));
    setFont(FormFont());
    setFixedSize(336, 209);
    new TScreenPlace(this);

    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 32, 32);
    Image1->setPixmap(QIcon(QStringLiteral(":/pictures/zanvel-tftp.png"))
                          .pixmap(QSize(32, 32), devicePixelRatioF()));
    Image1->installEventFilter(this);

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(56, 24);
    Label1->adjustSize();
    Label2->setObjectName(QStringLiteral("Label2"));
    // At 120 unless the name is wider in this font than in the one the layout was made for.
    Label2->move(std::max(120, Label1->geometry().right() + 1 +
                                   Label1->fontMetrics().horizontalAdvance(u' ')),
                 24);
    Label2->adjustSize();

    HomePageLbl->setObjectName(QStringLiteral("HomePageLbl"));
    HomePageLbl->move(192, 40);
    HomePageLbl->setText(HomePageAddress());
    HomePageLbl->adjustSize();
    HomePageLbl->Executable = true;
    HomePageLbl->setVisible(false);

    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(216, 16, 107, 25);
    BitBtn1->setIcon(QIcon(QStringLiteral(":/pictures/home.png")));
    BitBtn1->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));

    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(120, 180, 82, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    setTabOrder(OKBtn, BitBtn1);
    OKBtn->setFocus();
}
