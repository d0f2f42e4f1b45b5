#include "support/ModalDriver.h"
#include "ui/ModalResult.h"
#include "ui/entryEdit.h"
#include "ui/entryOptions.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

class TestEntryEdit : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void layout();
    void options_data();
    void options();
    void validation_data();
    void validation();
    void escapeCancelsUntouched();
    void lineBreaksBecomeBlanks();
    void browseSetsOnlyLocalFile();
    void keysWithoutFieldsAreKept();

private:
    void fill(const QString& port);
    // Presses Enter, which is OK; gives the text of the error box it brought up, or "" when the
    // dialog closed with OK, and the dialog's result.
    std::pair<QString, int> pressOk();

    TEntryEditDlg* dlg = nullptr;
};

void TestEntryEdit::init() {
    dlg = new TEntryEditDlg;
}

void TestEntryEdit::cleanup() {
    delete dlg;
}

void TestEntryEdit::fill(const QString& port) {
    dlg->EntryName->setText(QStringLiteral("router"));
    dlg->ServerAddress->setText(QStringLiteral("192.168.0.1"));
    dlg->ServerPort->setText(port);
    dlg->LocalFile->setText(QStringLiteral("/srv/fw.bin"));
    dlg->RemoteFile->setText(QStringLiteral("fw.bin"));
}

std::pair<QString, int> TestEntryEdit::pressOk() {
    QString error;
    OnNextModal([&](QWidget* dialog) {
        // Only a refusal brings up a box; it is read, dismissed, and the dialog left.
        QTimer::singleShot(0, [&, dialog] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                return;
            }
            const ShownBox shown = Shown(box);
            QCOMPARE(shown.title, QStringLiteral("エラー"));
            QCOMPARE(shown.icon, QMessageBox::Critical);
            QCOMPARE(shown.buttons, QMessageBox::Ok);
            QCOMPARE(shown.format, Qt::PlainText);
            error = shown.text;
            box->button(QMessageBox::Ok)->click();
            QVERIFY(dialog->isVisible());
            dialog->close();
        });
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
    });
    const int result = dlg->exec();
    QCoreApplication::processEvents();
    return {error, result};
}

void TestEntryEdit::layout() {
    QCOMPARE(dlg->windowTitle(), QStringLiteral("エントリ編集"));
    QCOMPARE(dlg->size(), QSize(401, 205));
    QVERIFY(dlg->OKBtn->isDefault());
    QCOMPARE(dlg->BrowseButton->focusPolicy(), Qt::NoFocus);
    QCOMPARE(dlg->OpenDialog1()->nameFilters(),
             (QStringList{"全てのファイル (*)", "binファイル (*.bin)", "exeファイル (*.exe)"}));
    QCOMPARE(dlg->OptionsBtn->geometry(), QRect(287, 172, 75, 25));
    // With the program's font every caption ends before its field begins.
    for (const QLabel* label : dlg->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        QVERIFY2(label->x() + label->sizeHint().width() <= 120, qPrintable(label->text()));
    }
    dlg->show();
    QCOMPARE(dlg->focusWidget(), dlg->EntryName);
    QList<QWidget*> order{dlg->focusWidget()};
    while (order.size() < 8) {
        QTest::keyClick(order.last(), Qt::Key_Tab);
        order.append(dlg->focusWidget());
    }
    QCOMPARE(order,
             (QList<QWidget*>{dlg->EntryName, dlg->ServerAddress, dlg->ServerPort, dlg->LocalFile,
                              dlg->RemoteFile, dlg->OKBtn, dlg->CancelBtn, dlg->OptionsBtn}));
    dlg->hide();

    // The options dialog: each caption ends before its field, each unit within the dialog.
    TEntryOptionsDlg* options = dlg->OptionsDlg;
    QCOMPARE(options->windowTitle(), QStringLiteral("詳細設定"));
    const QList<QLineEdit*> fields = options->findChildren<QLineEdit*>();
    QCOMPARE(fields.size(), 6);
    for (const QLabel* label : options->findChildren<QLabel*>()) {
        const int right = label->x() + label->sizeHint().width();
        QVERIFY2(label->x() > fields[0]->x() || label->buddy() == nullptr ||
                     right <= fields[0]->x(),
                 qPrintable(label->text()));
        QVERIFY2(right <= options->width(), qPrintable(label->text()));
    }
}

void TestEntryEdit::options_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("value");
    // clang-format off
    QTest::newRow("empty: not asked")  << "BlkSize"       << ""        << "" << 0;
    QTest::newRow("blanks: not asked") << "WindowSize"    << "  "      << "" << 0;
    QTest::newRow("least block")       << "BlkSize"       << "8"       << "" << 8;
    QTest::newRow("below the least")   << "BlkSize"       << "7"       << "ブロックサイズには 8 から 65464 までの整数を入力してください" << 0;
    QTest::newRow("largest block")     << "BlkSize"       << "65464"   << "" << 65464;
    QTest::newRow("hexadecimal")       << "BlkSize"       << "0x5BC"   << "" << 1468;
    QTest::newRow("letters")           << "WindowSize"    << "16a"     << "ウィンドウサイズには 1 から 65535 までの整数を入力してください" << 0;
    QTest::newRow("a day's wait")      << "WaitForTarget" << "86400"   << "" << 86400;
    QTest::newRow("retransmit beyond") << "Retransmit"    << "600001"  << "再送間隔には 1 から 600000 までの整数を入力してください" << 0;
    QTest::newRow("no sends")          << "Retries"       << "0"       << "送信回数には 1 から 1000 までの整数を入力してください" << 0;
    QTest::newRow("negative")          << "Timeout"       << "-1"      << "サーバーの再送間隔には 1 から 255 までの整数を入力してください" << 0;
    QTest::newRow("server's largest")  << "Timeout"       << "255"     << "" << 255;
    // clang-format on
}

void TestEntryEdit::options() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, error);
    QFETCH(int, value);
    TServerEntry entry;
    entry.Retries = 12;
    dlg->SetEntry(entry);
    ShownBox shown;
    OnNextModal([&](QWidget* options) {
        auto* edit = options->findChild<QLineEdit*>(field);
        Type(options, qPrintable(field), text);
        if (!error.isEmpty()) {
            Answer(QMessageBox::Ok, &shown);
        }
        QTest::keyClick(edit, Qt::Key_Return);
        if (!error.isEmpty()) {
            // Refused: the dialog stays open, the field named in the box and in focus.
            QVERIFY(options->isVisible());
            QCOMPARE(options->focusWidget(), edit);
            options->close();
        }
    });
    dlg->OptionsBtn->click();
    QCOMPARE(shown.text, error);
    if (!error.isEmpty()) {
        QCOMPARE(shown.title, QStringLiteral("エラー"));
    }
    const TServerEntry edited = dlg->Entry();
    const qint32 TServerEntry::*option = field == "BlkSize"         ? &TServerEntry::BlkSize
                                         : field == "WindowSize"    ? &TServerEntry::WindowSize
                                         : field == "WaitForTarget" ? &TServerEntry::WaitForTarget
                                         : field == "Retransmit"    ? &TServerEntry::RetransmitMs
                                         : field == "Retries"       ? &TServerEntry::Retries
                                                                    : &TServerEntry::TimeoutSeconds;
    // A refusal keeps what the entry had; the others keep theirs either way.
    QCOMPARE(edited.*option, error.isEmpty() ? value : entry.*option);
    if (field != "Retries") {
        QCOMPARE(edited.Retries, 12);
    }
}

void TestEntryEdit::validation_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QString>("error");
    const QString portError = QStringLiteral("サーバーポートが不正です");
    const QString emptyError = QStringLiteral("未記入項目があります");
    // The port's grammar is the integer conversion's own, tested with it; these rows show that
    // the dialog uses it and what the dialog adds.
    // clang-format off
    QTest::newRow("69")                         << "69"    << "fw.bin" << "";
    QTest::newRow("0x")                         << "0x45"  << "fw.bin" << "";
    QTest::newRow("0 and beyond 65535")         << "70000" << "fw.bin" << "";
    QTest::newRow("blank-only field is filled") << "69"    << " "      << "";
    QTest::newRow("letters")                    << "69a"   << "fw.bin" << portError;
    QTest::newRow("empty port")                 << ""      << "fw.bin" << emptyError;
    QTest::newRow("empty remote and bad port")  << "x"     << ""       << emptyError;
    // clang-format on
}

void TestEntryEdit::validation() {
    QFETCH(QString, port);
    QFETCH(QString, remote);
    QFETCH(QString, error);
    fill(port);
    dlg->RemoteFile->setText(remote);
    const auto [shown, result] = pressOk();
    QCOMPARE(shown, error);
    QCOMPARE(result, error.isEmpty() ? int(mrOk) : int(mrCancel));
    QCOMPARE(dlg->ServerPort->text(), port);
    QCOMPARE(dlg->RemoteFile->text(), remote);
}

void TestEntryEdit::escapeCancelsUntouched() {
    fill(QString());
    dlg->EntryName->clear();
    OnNextModal([](QWidget* dialog) { QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape); });
    QCOMPARE(dlg->exec(), int(mrCancel));
    QCOMPARE(dlg->EntryName->text(), QString());
    QCOMPARE(dlg->LocalFile->text(), QStringLiteral("/srv/fw.bin"));
}

void TestEntryEdit::lineBreaksBecomeBlanks() {
    QGuiApplication::clipboard()->setText(QStringLiteral("core\r\nrouter\n"));
    dlg->EntryName->setText(QStringLiteral("x"));
    dlg->EntryName->end(false);
    dlg->EntryName->paste();
    QCOMPARE(dlg->EntryName->text(), QStringLiteral("xcore  router "));
    dlg->LocalFile->setText(QStringLiteral("/tmp/a\nb.bin"));
    QCOMPARE(dlg->LocalFile->text(), QStringLiteral("/tmp/a b.bin"));
}

void TestEntryEdit::browseSetsOnlyLocalFile() {
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("image.bin"));
    QFile(chosen).open(QIODevice::WriteOnly);
    fill(QStringLiteral("69"));
    dlg->OpenDialog1()->setOption(QFileDialog::DontUseNativeDialog);

    OnNextModal([](QWidget* open) { static_cast<QDialog*>(open)->reject(); });
    dlg->BrowseButtonClick();
    QCOMPARE(dlg->LocalFile->text(), QStringLiteral("/srv/fw.bin"));

    OnNextModal([&](QWidget* open) {
        auto* files = static_cast<QFileDialog*>(open);
        // The user types the file's path and confirms it.
        Type(files, "fileNameEdit", chosen);
        QCOMPARE(files->selectedFiles(), QStringList{chosen});
        static_cast<QDialog*>(files)->QDialog::done(QDialog::Accepted);
    });
    dlg->BrowseButtonClick();
    QCOMPARE(dlg->LocalFile->text(), chosen);
    QCOMPARE(dlg->RemoteFile->text(), QStringLiteral("fw.bin"));

    // The next browse starts from the file chosen, not from what the field now holds.
    dlg->LocalFile->setText(QStringLiteral("/elsewhere/other.bin"));
    QStringList offered;
    OnNextModal([&](QWidget* open) {
        auto* files = static_cast<QFileDialog*>(open);
        offered = files->selectedFiles();
        files->reject();
    });
    dlg->BrowseButtonClick();
    QCOMPARE(offered, QStringList{chosen});
}

void TestEntryEdit::keysWithoutFieldsAreKept() {
    // The options survive an edit of the five values.
    TServerEntry entry;
    entry.EntryName = QStringLiteral("recovery");
    entry.BlkSize = 1468;
    entry.WindowSize = 4;
    entry.RetransmitMs = 10000;
    entry.Retries = 12;
    entry.TimeoutSeconds = 10;
    entry.WaitForTarget = 120;
    dlg->SetEntry(entry);
    dlg->EntryName->setText(QStringLiteral("recovery-2"));
    const TServerEntry edited = dlg->Entry();
    QCOMPARE(edited.EntryName, QStringLiteral("recovery-2"));
    QCOMPARE((QList<int>{edited.BlkSize, edited.WindowSize, edited.RetransmitMs, edited.Retries,
                         edited.TimeoutSeconds, edited.WaitForTarget}),
             (QList<int>{1468, 4, 10000, 12, 10, 120}));
}

QTEST_MAIN(TestEntryEdit)
#include "tst_entryedit.moc"
