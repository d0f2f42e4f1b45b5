// How the options dialog is put together: a row for each option with its caption, field and
// unit, the buttons, their fixed places, names and tab order.
#include "ui/entryOptions.h"

#include "transfer/ScreenPlace.h"
#include "ui/FormFont.h"
#include "ui/PlainLabel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int Width = 401;
constexpr int RowTop = 10;
constexpr int RowHeight = 28;
constexpr int FieldLeft = 184;
constexpr int UnitLeft = 256;

} // namespace

void TEntryOptionsDlg::CreateControls() {
    setObjectName(QStringLiteral("EntryOptionsDlg"));
    setWindowTitle(QStringLiteral("詳細設定"));
    setFont(FormFont());
    new TScreenPlace(this);

    const struct {
        QLineEdit*& field;
        const char* name;
        const char* caption;
        qint32 TServerEntry::*option;
        const char* unit;
        // What an empty field means.
        const char* empty;
    } rows[] = {
        // clang-format off
        {BlkSize,       "BlkSize",       "ブロックサイズ",     &TServerEntry::BlkSize,        "バイト",   "512"},
        {WindowSize,    "WindowSize",    "ウィンドウサイズ",   &TServerEntry::WindowSize,     "ブロック", "1"},
        {WaitForTarget, "WaitForTarget", "機器の起動待ち",     &TServerEntry::WaitForTarget,  "秒",       "待たない"},
        {Retransmit,    "Retransmit",    "再送間隔",           &TServerEntry::RetransmitMs,   "ミリ秒",   "5000"},
        {Retries,       "Retries",       "送信回数",           &TServerEntry::Retries,        "回",       "5"},
        {Timeout,       "Timeout",       "サーバーの再送間隔", &TServerEntry::TimeoutSeconds, "秒",       "要求しない"},
        // clang-format on
    };
    int top = RowTop;
    QWidget* previous = nullptr;
    for (const auto& row : rows) {
        const TEntryOption& option = EntryOption(row.option);
        const QString caption = QString::fromUtf8(row.caption);
        // The key names the option as the entry store and the RFCs do.
        QLabel* label = PlainLabel(
            this, QStringLiteral("%1 (%2)").arg(caption, QLatin1String(option.Key)), 16, top + 4);
        row.field = new QLineEdit(this);
        row.field->setObjectName(QLatin1String(row.name));
        row.field->setGeometry(FieldLeft, top, 64, 21);
        row.field->setAlignment(Qt::AlignRight);
        row.field->setPlaceholderText(QString::fromUtf8(row.empty));
        row.field->setAccessibleName(label->text());
        label->setBuddy(row.field);
        PlainLabel(this,
                   QStringLiteral("%1（%2～%3）")
                       .arg(QString::fromUtf8(row.unit))
                       .arg(option.Low)
                       .arg(option.High),
                   UnitLeft, top + 4);
        Rows.append({row.field, caption, row.option});
        if (previous) {
            setTabOrder(previous, row.field);
        }
        previous = row.field;
        top += RowHeight;
    }
    PlainLabel(this, QStringLiteral("空欄の項目は何も要求せず、既定のまま送信します"), 16, top + 4)
        ->setObjectName(QStringLiteral("EmptyNote"));
    top += RowHeight + 4;

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(Width - 166, top, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    CancelBtn = new QPushButton(QStringLiteral("キャンセル"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(Width - 86, top, 75, 25);
    connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
    setTabOrder(previous, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    setFixedSize(Width, top + 25 + 8);
}
