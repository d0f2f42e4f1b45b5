#include "ui/entryOptions.h"

#include "entries/IntConv.h"
#include "ui/InputError.h"
#include "ui/ModalResult.h"

#include <QLineEdit>

namespace {

// A field's value: 0 for an empty one, nothing for one that is not a number in the range.
std::optional<qint32> FieldValue(const QLineEdit* field, const TEntryOption& option) {
    const QString text = field->text().trimmed();
    if (text.isEmpty()) {
        return 0;
    }
    const std::optional<qint32> value = TryStrToInt(text);
    if (!value || *value < option.Low || *value > option.High) {
        return std::nullopt;
    }
    return value;
}

} // namespace

TEntryOptionsDlg::TEntryOptionsDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    CreateControls();
}

void TEntryOptionsDlg::SetEntry(const TServerEntry& Entry) {
    for (const TRow& row : Rows) {
        const qint32 value = Entry.*row.Option;
        row.Field->setText(value > 0 ? QString::number(value) : QString());
    }
}

TServerEntry TEntryOptionsDlg::Applied(const TServerEntry& Entry) const {
    TServerEntry entry = Entry;
    for (const TRow& row : Rows) {
        // OK accepts only fields that convert.
        entry.*row.Option = FieldValue(row.Field, EntryOption(row.Option)).value_or(0);
    }
    return entry;
}

void TEntryOptionsDlg::OKBtnClick() {
    for (const TRow& row : Rows) {
        const TEntryOption& option = EntryOption(row.Option);
        if (!FieldValue(row.Field, option)) {
            ShowInputError(this, QStringLiteral("%1には %2 から %3 までの整数を入力してください")
                                     .arg(row.Caption)
                                     .arg(option.Low)
                                     .arg(option.High));
            row.Field->setFocus();
            row.Field->selectAll();
            return;
        }
    }
    done(mrOk);
}

void TEntryOptionsDlg::reject() {
    done(mrCancel);
}
