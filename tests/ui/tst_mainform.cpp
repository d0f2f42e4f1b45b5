#include "entries/EntryList.h"
#include "support/ExceptionRecorder.h"
#include "support/FileAccess.h"
#include "support/FileSizeLimit.h"
#include "support/ModalDriver.h"
#include "support/ScriptedTftpServer.h"
#include "transfer/RetransmitTimer.h"
#include "transfer/TransferResult.h"
#include "transfer/UProgressForm.h"
#include "ui/UAboutDialog.h"
#include "ui/entryEdit.h"
#include "ui/entryOptions.h"
#include "ui/mainform.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <memory>

namespace {

QByteArray Store(const QStringList& names) {
    QByteArray text;
    for (int i = 0; i < names.size(); ++i) {
        text += QStringLiteral("[entryno%1]\r\nentryname=%2\r\naddress=127.0.0.1\r\nport=69\r\n"
                               "localfile=C:\\images\\%2.bin\r\nremotefile=%2.bin\r\n")
                    .arg(i)
                    .arg(names[i])
                    .toUtf8();
    }
    return text;
}

// A tooltip as the user reads it.
QString TipText(const QString& tip) {
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Adds an entry named x through the edit dialog, as a user does.
void AddEntryX(TForm1& form) {
    OnNextModal([](QWidget* dialog) {
        for (const char* field : {"EntryName", "ServerAddress", "LocalFile", "RemoteFile"}) {
            Type(dialog, field, QStringLiteral("x"));
        }
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
    });
    form.NewAction->trigger();
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowAndControls();
    void startWithoutStore();
    void moveStatesAtStart_data();
    void moveStatesAtStart();
    void fullPathBox_data();
    void fullPathBox();
    void entryCommands_data();
    void entryCommands();
    void editOnlyThePortKeepsTheLine();
    void optionsReachTheStore_data();
    void optionsReachTheStore();
    void accessibleNames();
    void cutValuesShowWhole_data();
    void cutValuesShowWhole();
    void entryDataShowsLiterally();
    void sendShowsResult_data();
    void sendShowsResult();
    void resultTexts_data();
    void resultTexts();
    void selectionStays_data();
    void selectionStays();
    void onlyLeftDoubleClickSends();
    void shiftF10OpensContextMenu();
    void closeSavesTheList();
    void failedSaveAsks_data();
    void failedSaveAsks();
    void closeWithUnreadableStore_data();
    void closeWithUnreadableStore();
    void undeletableStoreDoesNotHoldTheWindow();
    void shippedEntriesStartTheUsersList_data();
    void shippedEntriesStartTheUsersList();
    void brokenListIsAsserted();
    void droppedFilesUploadInTurn_data();
    void droppedFilesUploadInTurn();

private:
    // Opens the main window on a store holding entries of these names, shown and active.
    void open(const QStringList& names);
    QStringList lines() const;
    QStringList entryNames() const;

    std::unique_ptr<QTemporaryDir> dir;
    QString path;
    std::unique_ptr<ExceptionRecorder> recorder;
    std::unique_ptr<TEntryEditDlg> edit;
    std::unique_ptr<TProgressForm> progress;
    std::unique_ptr<TAboutDlg> about;
    std::unique_ptr<TForm1> form;
};

void TestMainForm::init() {
    dir = std::make_unique<QTemporaryDir>();
    path = dir->filePath(QStringLiteral("entrys.txt"));
    recorder = std::make_unique<ExceptionRecorder>();
    EntryList = TEntryList();
    edit = std::make_unique<TEntryEditDlg>();
    progress = std::make_unique<TProgressForm>();
    about = std::make_unique<TAboutDlg>();
    EntryEditDlg = edit.get();
    ProgressForm = progress.get();
    AboutDlg = about.get();
}

void TestMainForm::cleanup() {
    form.reset();
    EntryEditDlg = nullptr;
    ProgressForm = nullptr;
    AboutDlg = nullptr;
    about.reset();
    progress.reset();
    edit.reset();
    EntryList = TEntryList();
    recorder.reset();
    dir.reset();
}

void TestMainForm::open(const QStringList& names) {
    if (!names.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Store(names));
    }
    form = std::make_unique<TForm1>(path);
    form->show();
    QApplication::setActiveWindow(form.get());
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
}

QStringList TestMainForm::lines() const {
    QStringList texts;
    for (int i = 0; i < form->EntryListBox->count(); ++i) {
        texts.append(form->EntryListBox->item(i)->text());
    }
    return texts;
}

QStringList TestMainForm::entryNames() const {
    QStringList names;
    for (int i = 0; i < EntryList.Count(); ++i) {
        names.append(EntryList.Get(i)->EntryName);
    }
    return names;
}

void TestMainForm::windowAndControls() {
    open({"a", "b"});
    QCOMPARE(form->windowTitle(), QStringLiteral("Zanvel TFTP "));
    QCOMPARE(form->size(), QSize(323, 285));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(QApplication::focusWidget(), form->EntryListBox);
    QCOMPARE(form->Panel2->geometry(), QRect(0, 160, 323, 105));
    QCOMPARE(form->ServerAddressLbl->pos(), QPoint(168, 11));
    // With the program's font, proportional in any language, no caption runs into the control
    // beside it or out of the window.
    QVERIFY(form->fontMetrics().horizontalAdvance(u'i') <
            form->fontMetrics().horizontalAdvance(u'W'));
    for (const char* name : {"Label2", "Label5", "Label4"}) {
        const QLabel* label = form->findChild<QLabel*>(name);
        QVERIFY2(label->x() + label->sizeHint().width() <= 168, name);
    }
    const QLabel* label3 = form->findChild<QLabel*>("Label3");
    QVERIFY(label3->x() + label3->sizeHint().width() <= form->FullPathChkBox->x());
    QVERIFY(form->FullPathChkBox->x() + form->FullPathChkBox->sizeHint().width() <= 323);

    // Buttons and menu items show their own captions, follow their action and run it.
    const QList<QToolButton*> buttons = form->ToolBar1->findChildren<QToolButton*>();
    QStringList captions;
    for (const QToolButton* b : buttons) {
        captions.append(b->text());
        QCOMPARE(b->height(), 47);
        QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) + 4 <= b->width(),
                 qPrintable(b->text()));
    }
    QCOMPARE(captions,
             (QStringList{"送信", "新規", "編集", "複製", "削除", "上へ", "下へ", "About"}));
    QStringList items;
    for (const QAction* item : form->PopupMenu1->actions()) {
        items.append(item->text());
    }
    QCOMPARE(items,
             (QStringList{"サーバーへ送信\tEnter", "", "エントリの新規作成\tCtrl+N",
                          "エントリの編集\tCtrl+E", "エントリの複製\tCtrl+D", "エントリの削除\tDel",
                          "エントリを一つ上へ移動\tAlt+Up", "エントリを一つ下へ移動\tAlt+Down"}));
    QVERIFY(!form->UpBtn->isEnabled());
    QVERIFY(!form->findChild<QAction*>("Up1")->isEnabled());
    form->findChild<QAction*>("Down1")->trigger();
    QCOMPARE(entryNames(), (QStringList{"b", "a"}));
    QVERIFY(form->UpBtn->isEnabled() && !form->DownBtn->isEnabled());
    form->DeleteBtn->click();
    QCOMPARE(lines(), QStringList{"b"});
}

void TestMainForm::startWithoutStore() {
    open({});
    QCOMPARE(form->EntryListBox->count(), 0);
    QCOMPARE(form->ItemIndex(), -1);
    for (const QLabel* label : {form->ServerAddressLbl, form->ServerPortLbl, form->LocalFileLbl,
                                form->RemoteFileLbl, form->StatusText}) {
        QCOMPARE(label->text(), QString());
    }
    for (const QToolButton* b : form->ToolBar1->findChildren<QToolButton*>()) {
        QCOMPARE(b->isEnabled(), b == form->NewBtn || b == form->AboutBtn);
    }
    QVERIFY(recorder->shown.isEmpty());
    // Unusable commands do nothing, by key or by double click.
    QTest::keyClick(form->EntryListBox, Qt::Key_Delete);
    QTest::mouseDClick(form->EntryListBox->viewport(), Qt::LeftButton);
    QCOMPARE(form->StatusText->text(), QString());
}

void TestMainForm::moveStatesAtStart_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("down");
    QTest::newRow("one entry") << QStringList{"a"} << false;
    QTest::newRow("three entries") << QStringList{"a", "b", "c"} << true;
}

void TestMainForm::moveStatesAtStart() {
    QFETCH(QStringList, names);
    QFETCH(bool, down);
    open(names);
    QCOMPARE(form->ItemIndex(), 0);
    QCOMPARE(lines(), names);
    QCOMPARE(form->ServerAddressLbl->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(form->ServerPortLbl->text(), QStringLiteral("69"));
    QCOMPARE(form->RemoteFileLbl->text(), QStringLiteral("a.bin"));
    QVERIFY(form->SendAction->isEnabled() && form->DeleteAction->isEnabled());
    QVERIFY(!form->UpAction->isEnabled());
    QCOMPARE(form->DownAction->isEnabled(), down);
}

void TestMainForm::fullPathBox_data() {
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("shown");
    // clang-format off
    QTest::newRow("Windows")    << "C:\\images\\router.bin" << "router.bin";
    QTest::newRow("drive only") << "C:router.bin"           << "router.bin";
    QTest::newRow("Linux")      << "/home/u/fw.bin"         << "fw.bin";
    QTest::newRow("no folder")  << "fw.bin"                 << "fw.bin";
    QTest::newRow("folder")     << "/srv/tftp/"             << "";
    // clang-format on
}

void TestMainForm::fullPathBox() {
    QFETCH(QString, local);
    QFETCH(QString, shown);
    open({"a"});
    EntryList.Get(0)->LocalFile = local;
    form->FullPathChkBox->click();
    QCOMPARE(form->LocalFileLbl->text(), local);
    form->FullPathChkBox->click();
    QCOMPARE(form->LocalFileLbl->text(), shown);

    // With nothing selected the box changes nothing.
    form->SetItemIndex(-1);
    form->RefreshDetails();
    form->ShowStatus(QStringLiteral("kept"));
    form->FullPathChkBox->click();
    QCOMPARE(form->StatusText->text(), QStringLiteral("kept"));
}

void TestMainForm::entryCommands_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("selectedAfter");
    const QStringList abc{"a", "b", "c"};
    const QKeySequence del(Qt::Key_Delete), up(Qt::ALT | Qt::Key_Up), down(Qt::ALT | Qt::Key_Down);
    QTest::newRow("new on empty list")
        << QStringList() << -1 << QKeySequence(Qt::CTRL | Qt::Key_N) << QStringList{"new"} << -1;
    QTest::newRow("new keeps selection")
        << abc << 1 << QKeySequence(Qt::CTRL | Qt::Key_N) << QStringList{"a", "b", "c", "new"} << 1;
    QTest::newRow("delete first") << abc << 0 << del << QStringList{"b", "c"} << 0;
    QTest::newRow("delete middle") << abc << 1 << del << QStringList{"a", "c"} << 0;
    QTest::newRow("delete last") << abc << 2 << del << QStringList{"a", "b"} << 1;
    QTest::newRow("delete only") << QStringList{"a"} << 0 << del << QStringList() << -1;
    QTest::newRow("up") << abc << 2 << up << QStringList{"a", "c", "b"} << 1;
    QTest::newRow("up on first") << abc << 0 << up << abc << 0;
    QTest::newRow("down") << abc << 0 << down << QStringList{"b", "a", "c"} << 1;
    QTest::newRow("down on last") << abc << 2 << down << abc << 2;
    QTest::newRow("duplicate twice")
        << abc << 1 << QKeySequence(Qt::CTRL | Qt::Key_D, Qt::CTRL | Qt::Key_D)
        << QStringList{"a", "b", "c", "b", "b"} << 4;
}

void TestMainForm::entryCommands() {
    QFETCH(QStringList, names);
    QFETCH(int, selected);
    QFETCH(QKeySequence, keys);
    QFETCH(QStringList, after);
    QFETCH(int, selectedAfter);
    open(names);
    form->SetItemIndex(selected);
    form->RefreshDetails();
    if (keys[0].key() == Qt::Key_N) {
        OnNextModal([](QWidget* dialog) {
            Type(dialog, "EntryName", QStringLiteral("new"));
            Type(dialog, "ServerAddress", QStringLiteral("tftp-host"));
            Type(dialog, "LocalFile", QStringLiteral("/srv/new.bin"));
            Type(dialog, "RemoteFile", QStringLiteral("new.bin"));
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        });
    }
    QTest::keySequence(form->EntryListBox, keys);
    QCOMPARE(lines(), after);
    QCOMPARE(entryNames(), after);
    if (keys[0].key() == Qt::Key_N) {
        // The port the dialog offered a new entry, untouched.
        QCOMPARE(EntryList.Get(EntryList.Count() - 1)->ServerPort, 69);
    }
    QCOMPARE(form->ItemIndex(), selectedAfter);
    if (selectedAfter >= 0) {
        QCOMPARE(form->RemoteFileLbl->text(), EntryList.Get(selectedAfter)->RemoteFile);
        QCOMPARE(form->UpAction->isEnabled(), selectedAfter > 0);
        QCOMPARE(form->DownAction->isEnabled(), selectedAfter < after.size() - 1);
    } else {
        QCOMPARE(form->ServerAddressLbl->text(), QString());
        QVERIFY(!form->SendAction->isEnabled() && form->NewAction->isEnabled());
    }
    QVERIFY(recorder->shown.isEmpty());
}

void TestMainForm::editOnlyThePortKeepsTheLine() {
    open({"a", "b"});
    form->SetItemIndex(1);
    OnNextModal([](QWidget* dialog) {
        QCOMPARE(dialog->findChild<QLineEdit*>("EntryName")->text(), QStringLiteral("b"));
        Type(dialog, "ServerPort", QStringLiteral("0x45a"));
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
    });
    QTest::keyClick(form->EntryListBox, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(EntryList.Get(1)->ServerPort, 0x45a);
    QCOMPARE(form->ServerPortLbl->text(), QStringLiteral("1114"));
    QCOMPARE(lines(), (QStringList{"a", "b"}));
    QCOMPARE(form->ItemIndex(), 1);

    // Cancel changes nothing, and the details are refreshed all the same.
    form->ShowStatus(QStringLiteral("old"));
    OnNextModal([](QWidget* dialog) {
        Type(dialog, "EntryName", QStringLiteral("changed"));
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
    });
    form->EditAction->trigger();
    QCOMPARE(EntryList.Get(1)->EntryName, QStringLiteral("b"));
    QCOMPARE(form->StatusText->text(), QString());
}

void TestMainForm::optionsReachTheStore_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("stored"); // each of the two entries' options, in the store
    const QByteArray before("blksize=1468\r\nwindowsize=16\r\n");
    QTest::newRow("edit kept by OK") << "ok" << QByteArray("blksize=1024\r\nwaitfortarget=120\r\n");
    QTest::newRow("edit discarded by Cancel") << "cancel" << before;
    QTest::newRow("options dialog cancelled") << "options cancel" << before;
}

void TestMainForm::optionsReachTheStore() {
    // The entry's options are set in the options dialog of the edit dialog, kept by its OK,
    // discarded by its Cancel, and copied by Duplicate; a new entry starts without any.
    QFETCH(QString, how);
    QFETCH(QByteArray, stored);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Store({"a"}) + "blksize=1468\r\nwindowsize=16\r\n");
    }
    open({});
    OnNextModal([&](QWidget* dialog) {
        Type(dialog, "ServerPort", QStringLiteral("70"));
        OnNextModal([&](QWidget* options) {
            QCOMPARE(options->findChild<QLineEdit*>("BlkSize")->text(), QStringLiteral("1468"));
            Type(options, "BlkSize", QStringLiteral("1024"));
            Type(options, "WindowSize", QString());
            Type(options, "WaitForTarget", QStringLiteral("120"));
            auto* button =
                options->findChild<QPushButton*>(how == "options cancel" ? "CancelBtn" : "OKBtn");
            button->click();
        });
        dialog->findChild<QPushButton*>("OptionsBtn")->click();
        dialog->findChild<QPushButton*>(how == "cancel" ? "CancelBtn" : "OKBtn")->click();
    });
    form->EditAction->trigger();
    form->DuplicateAction->trigger();
    QString offered = QStringLiteral("unset");
    OnNextModal([&](QWidget* dialog) {
        OnNextModal([&](QWidget* options) {
            offered = options->findChild<QLineEdit*>("BlkSize")->text();
            options->close();
        });
        dialog->findChild<QPushButton*>("OptionsBtn")->click();
        dialog->close();
    });
    form->NewAction->trigger();
    QCOMPARE(offered, QString());
    QVERIFY(form->close());
    const QByteArray text = ReadAll(path);
    QCOMPARE(text.count(stored), 2);
    QCOMPARE(text.count(how == "cancel" ? "port=69\r\n" : "port=70\r\n"), 2);
}

void TestMainForm::entryDataShowsLiterally() {
    open({"<b>x</b>", "a&b"});
    EntryList.Get(0)->ServerAddress = QStringLiteral("<i>host</i>");
    form->RefreshDetails();
    QCOMPARE(lines(), (QStringList{"<b>x</b>", "a&b"}));
    for (const QLabel* label : {form->ServerAddressLbl, form->ServerPortLbl, form->LocalFileLbl,
                                form->RemoteFileLbl, form->StatusText}) {
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    QCOMPARE(form->ServerAddressLbl->text(), QStringLiteral("<i>host</i>"));
}

void TestMainForm::accessibleNames() {
    open({"a"});
    const auto named = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    // Every field of the edit and options dialogs is named by its caption.
    for (QWidget* dialog : QList<QWidget*>{edit.get(), edit->OptionsDlg}) {
        QList<QWidget*> captioned;
        for (const QLabel* label : dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->buddy()) {
                QCOMPARE(named(label->buddy()), label->text());
                captioned.append(label->buddy());
            }
        }
        QCOMPARE(captioned.size(),
                 dialog->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly).size());
    }
    QCOMPARE(named(edit->LocalFile), QStringLiteral("ローカルファイル名"));
    QCOMPARE(named(edit->BrowseButton), QStringLiteral("参照"));
    QCOMPARE(named(form->EntryListBox), QStringLiteral("エントリ一覧"));
    // A value is named by its caption, and heard as its description.
    QAccessibleInterface* address = QAccessible::queryAccessibleInterface(form->ServerAddressLbl);
    QCOMPARE(address->text(QAccessible::Name), QStringLiteral("サーバアドレス"));
    QCOMPARE(address->text(QAccessible::Description), QStringLiteral("127.0.0.1"));
    QCOMPARE(named(form->LocalFileLbl), QStringLiteral("ローカルファイル名"));
    form->ShowStatus(QStringLiteral("送信完了"));
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(form->StatusText);
    QCOMPARE(status->text(QAccessible::Name), QStringLiteral("状態"));
    QCOMPARE(status->text(QAccessible::Description), QStringLiteral("送信完了"));
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(progress->ProgressBar1);
    QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("送信の進捗"));
    QCOMPARE(bar->valueInterface()->currentValue().toInt(), 0);
}

void TestMainForm::cutValuesShowWhole_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("tip"); // empty: the label shows the value whole
    const QString v6 = QStringLiteral("2001:db8:1234:5678:9abc:def0:1234:5678");
    const QString path = QStringLiteral("/srv/firmware/core-switches/rack-7/core-7.3.bin");
    // clang-format off
    QTest::newRow("short address")   << "ServerAddressLbl" << "192.0.2.1"  << "";
    QTest::newRow("IPv6 address")    << "ServerAddressLbl" << v6           << v6;
    QTest::newRow("markup as text")  << "ServerAddressLbl" << "<b>" + v6   << "<b>" + v6;
    QTest::newRow("local file name") << "LocalFileLbl"     << path         << path;
    // clang-format on
}

void TestMainForm::cutValuesShowWhole() {
    QFETCH(QString, label);
    QFETCH(QString, value);
    QFETCH(QString, tip);
    open({"a", QStringLiteral("a very long entry name that the list cuts at its edge, and more")});
    TServerEntry* entry = EntryList.Get(0);
    entry->ServerAddress = entry->LocalFile = entry->RemoteFile = value;
    form->RefreshDetails();
    QCOMPARE(TipText(form->findChild<QLabel*>(label)->toolTip()), tip);

    // A name cut at the list's edge shows whole where the pointer rests on it; a short one
    // shows nothing.
    for (int row : {0, 1}) {
        const QRect line = form->EntryListBox->visualItemRect(form->EntryListBox->item(row));
        QHelpEvent hover(QEvent::ToolTip, line.center(),
                         form->EntryListBox->viewport()->mapToGlobal(line.center()));
        QCoreApplication::sendEvent(form->EntryListBox->viewport(), &hover);
        QCOMPARE(TipText(QToolTip::text()), row == 1 ? EntryList.Get(1)->EntryName : QString());
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
    }
}

void TestMainForm::sendShowsResult_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("text"); // %1: the local file, %2: the server's port
    QTest::newRow("completed") << ""
                               << "送信完了";
    QTest::newRow("refused") << "refuse"
                             << "サーバーがエラーを返しました（error 2: read-only）";
    QTest::newRow("file error") << "no file"
                                << "ファイルがオープンできません（%1: No such file or directory）";
    QTest::newRow("host not found") << "no host"
                                    << "ホストが見つかりません";
    QTest::newRow("port unreachable")
        << "unreachable"
        << "ソケットエラーです（port unreachable: 127.0.0.1 port %2）";
    QTest::newRow("timeout") << "silent"
                             << "タイムアウトしました";
    QTest::newRow("last block unacknowledged")
        << "last silent"
        << "タイムアウトしました（全データ送信済み、最終ブロックの応答なし）";
}

void TestMainForm::sendShowsResult() {
    QFETCH(QString, how);
    QFETCH(QString, text);
    ScriptedTftpServer server;
    open({"a", "b"});
    TServerEntry* entry = EntryList.Get(0);
    entry->ServerPort = server.port();
    entry->LocalFile = dir->filePath(QStringLiteral("fw.bin"));
    entry->RetransmitMs = 10;
    if (how != "no file") {
        QFile file(entry->LocalFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(700, 'x'));
    }
    if (how == "no host") {
        entry->ServerAddress = QStringLiteral("no.such.host.invalid");
    }
    if (how == "unreachable") {
        entry->ServerPort = ScriptedTftpServer().port();
    }
    if (how == "refuse") {
        server.script = [&](const ScriptedTftpServer::Datagram&) {
            server.answer(ScriptedTftpServer::error(2, "read-only"));
        };
    }
    if (how.endsWith("silent")) {
        server.script = [&](const ScriptedTftpServer::Datagram& d) {
            if (how == "last silent" && !d.isBlock(2)) {
                server.acknowledgeNormally(d);
            }
        };
    }
    form->ShowStatus(QStringLiteral("earlier"));
    QTest::keyClick(form->EntryListBox, Qt::Key_Return);
    QCOMPARE(
        form->StatusText->text(),
        text.replace("%1", entry->LocalFile).replace("%2", QString::number(entry->ServerPort)));
    QVERIFY(!progress->isVisible());

    // The message stays until the selection changes.
    QTest::keyClick(form->EntryListBox, Qt::Key_Down);
    QCOMPARE(form->ItemIndex(), 1);
    QCOMPARE(form->StatusText->text(), QString());

    // A double click sends the selected entry too.
    QTest::mouseDClick(form->EntryListBox->viewport(), Qt::LeftButton, {},
                       form->EntryListBox->visualItemRect(form->EntryListBox->item(1)).center());
    QVERIFY(form->StatusText->text().startsWith(TransferResultText(trFileOpenError)));
}

void TestMainForm::resultTexts_data() {
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("serverError");
    QTest::addColumn<bool>("allDataSent");
    QTest::addColumn<QString>("text");
    // clang-format off
    QTest::newRow("1")   << 1   << "" << "" << false << "送信完了";
    QTest::newRow("2")   << 2   << "" << "" << false << "送信中止";
    QTest::newRow("100") << 100 << "" << "" << false << "サーバーから不正なパケットを受信しました";
    QTest::newRow("101") << 101 << "" << "" << false << "ファイルがオープンできません";
    QTest::newRow("102") << 102 << "" << "" << false << "ソケットの作成ができません";
    QTest::newRow("103") << 103 << "" << "" << false << "ホストが見つかりません";
    QTest::newRow("104") << 104 << "" << "" << false << "ソケットエラーです";
    QTest::newRow("105") << 105 << "" << "" << false << "タイムアウトしました";
    QTest::newRow("3")   << 3   << "" << "" << false << "予期せぬエラーです";
    QTest::newRow("106") << 106 << "" << "" << false << "予期せぬエラーです";
    QTest::newRow("-1")  << -1  << "" << "" << false << "予期せぬエラーです";
    QTest::newRow("the server's error")
        << 100 << "error 2: Access violation" << "error 2: Access violation" << false
        << "サーバーがエラーを返しました（error 2: Access violation）";
    QTest::newRow("a bad packet's reason")
        << 100 << "bad option acknowledgement" << "" << false
        << "サーバーから不正なパケットを受信しました（bad option acknowledgement）";
    QTest::newRow("a socket's reason")
        << 104 << "port unreachable: 127.0.0.1 port 9" << "" << false
        << "ソケットエラーです（port unreachable: 127.0.0.1 port 9）";
    QTest::newRow("a file's reason")
        << 101 << "/srv/fw.bin: No such file or directory" << "" << false
        << "ファイルがオープンできません（/srv/fw.bin: No such file or directory）";
    QTest::newRow("all data sent")
        << 105 << "" << "" << true << "タイムアウトしました（全データ送信済み、最終ブロックの応答なし）";
    QTest::newRow("completed, whatever else") << 1 << "x" << "error 2: x" << true << "送信完了";
    QTest::newRow("aborted, whatever else")   << 2 << "x" << "error 2: x" << true << "送信中止";
    QTest::newRow("unknown, whatever else")   << 106 << "x" << "" << false << "予期せぬエラーです";
    // clang-format on
}

void TestMainForm::resultTexts() {
    QFETCH(int, result);
    QFETCH(QString, failure);
    QFETCH(QString, serverError);
    QFETCH(bool, allDataSent);
    QFETCH(QString, text);
    QCOMPARE(TransferStatusText(result, failure, serverError, allDataSent), text);
    if (failure.isEmpty() && serverError.isEmpty() && !allDataSent) {
        QCOMPARE(TransferResultText(result), text);
    }
}

void TestMainForm::selectionStays_data() {
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Ctrl+click") << false;
    QTest::newRow("Ctrl+Space") << true;
}

void TestMainForm::selectionStays() {
    QFETCH(bool, byKey);
    open({"a", "b"});
    QTest::keyClick(form->EntryListBox, Qt::Key_Down);
    QCOMPARE(form->ItemIndex(), 1);
    if (byKey) {
        QTest::keyClick(form->EntryListBox, Qt::Key_Space, Qt::ControlModifier);
    } else {
        QTest::mouseClick(form->EntryListBox->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          form->EntryListBox->visualItemRect(form->EntryListBox->item(1)).center());
    }
    QCOMPARE(form->ItemIndex(), 1);
    QVERIFY(form->SendAction->isEnabled());
    QCOMPARE(form->RemoteFileLbl->text(), QStringLiteral("b.bin"));
}

void TestMainForm::onlyLeftDoubleClickSends() {
    open({"a"});
    EntryList.Get(0)->LocalFile = dir->filePath(QStringLiteral("missing.bin"));
    const QPoint line = form->EntryListBox->visualItemRect(form->EntryListBox->item(0)).center();
    form->ShowStatus(QStringLiteral("before"));
    for (const Qt::MouseButton button : {Qt::MiddleButton, Qt::RightButton}) {
        QTest::mouseDClick(form->EntryListBox->viewport(), button, {}, line);
        form->PopupMenu1->close();
    }
    // Below the last line the double click is on no entry.
    QTest::mouseDClick(form->EntryListBox->viewport(), Qt::LeftButton, {},
                       QPoint(line.x(), form->EntryListBox->viewport()->height() - 3));
    QCOMPARE(form->StatusText->text(), QStringLiteral("before"));
    QCOMPARE(form->ItemIndex(), 0);
    QTest::mouseDClick(form->EntryListBox->viewport(), Qt::LeftButton, {}, line);
    QVERIFY(form->StatusText->text().startsWith(TransferResultText(trFileOpenError)));
}

void TestMainForm::shiftF10OpensContextMenu() {
    open({"a", "b"});
    QVERIFY(!form->PopupMenu1->isVisible());
    QTest::keyClick(form->EntryListBox, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(form->PopupMenu1->isVisible());
    form->PopupMenu1->close();
    // F10 alone does not.
    QTest::keyClick(form->EntryListBox, Qt::Key_F10);
    QVERIFY(!form->PopupMenu1->isVisible());
}

void TestMainForm::closeSavesTheList() {
    open({"a", "b", "c"});
    form->SetItemIndex(1);
    form->DeleteAction->trigger();
    QVERIFY(form->close());
    QCOMPARE(ReadAll(path), Store({"a", "c"}));
}

void TestMainForm::failedSaveAsks_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("closes");
    QTest::newRow("stay") << "StayBtn" << false;
    QTest::newRow("quit without saving") << "DiscardBtn" << true;
}

void TestMainForm::failedSaveAsks() {
    QFETCH(QString, button);
    QFETCH(bool, closes);
    open({"a", "b"});
    for (int i = 0; i < 20; ++i) {
        form->DuplicateAction->trigger();
    }
    QString said;
    Answer(button, &said);
    bool closed = !closes;
    WithFileSizeLimit(100, [&] { closed = form->close(); });

    QCOMPARE(said, path + QStringLiteral(" に書き込めません"));
    QCOMPARE(closed, closes);
    QCOMPARE(ReadAll(path), Store({"a", "b"}));
    if (!closes) {
        // The next close tries again.
        QVERIFY(form->isVisible());
        QVERIFY(form->close());
        QCOMPARE(EntryList.Count(), 22);
        QVERIFY(ReadAll(path).contains("[entryno21]"));
    }
    QVERIFY(recorder->shown.isEmpty());
}

void TestMainForm::closeWithUnreadableStore_data() {
    QTest::addColumn<bool>("addEntry");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("overwritten");
    QTest::newRow("overwrite") << true << "SaveBtn" << true << true;
    QTest::newRow("quit without saving") << true << "DiscardBtn" << true << false;
    QTest::newRow("cancel") << true << "StayBtn" << false << false;
    // Whatever is not a choice keeps the window open and the file as it is.
    QTest::newRow("Enter") << true << "key Return" << false << false;
    QTest::newRow("Esc") << true << "key Escape" << false << false;
    QTest::newRow("box closed") << true << "close" << false << false;
    QTest::newRow("empty list, no question") << false << QString() << true << false;
}

void TestMainForm::closeWithUnreadableStore() {
    QFETCH(bool, addEntry);
    QFETCH(QString, button);
    QFETCH(bool, closes);
    QFETCH(bool, overwritten);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Store({"a"}));
    }
    // An ordinary user's store that even they cannot read, in their own folder.
    GiveToOrdinaryUser(dir->path());
    GiveToOrdinaryUser(path);
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    AsOrdinaryUser([&] { open({}); });
    QCOMPARE(recorder->shown, QStringList{path + QStringLiteral(" を読み込めません")});
    QCOMPARE(form->EntryListBox->count(), 0);
    if (addEntry) {
        AddEntryX(*form);
        QCOMPARE(EntryList.Count(), 1);
    }
    QString said;
    if (button.startsWith(QStringLiteral("key "))) {
        const Qt::Key key =
            button.endsWith(QStringLiteral("Return")) ? Qt::Key_Return : Qt::Key_Escape;
        OnNextModal([&said, key](QWidget* box) {
            said = static_cast<QMessageBox*>(box)->text();
            QTest::keyClick(box, key);
        });
    } else if (button == u"close") {
        OnNextModal([&said](QWidget* box) {
            said = static_cast<QMessageBox*>(box)->text();
            box->close();
        });
    } else if (!button.isEmpty()) {
        Answer(button, &said);
    }
    const auto stray = CloseStrayBox(500);
    bool closed = !closes;
    AsOrdinaryUser([&] { closed = form->close(); });
    QVERIFY(!*stray);
    QCOMPARE(closed, closes);
    QCOMPARE(said.contains(path), !button.isEmpty());
    // An overwritten store can be read at the next start.
    QCOMPARE(bool(QFile::permissions(path) & QFileDevice::ReadOwner), overwritten);
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const QByteArray stored = ReadAll(path);
    QCOMPARE(stored.contains("entryname=x"), overwritten);
    QCOMPARE(stored.contains("entryname=a"), !overwritten);
    QCOMPARE(recorder->shown.size(), 1);
}

void TestMainForm::undeletableStoreDoesNotHoldTheWindow() {
    open({"a"});
    form->DeleteAction->trigger();
    ImmutableFile keep(path);
    if (keep.failed()) {
        QSKIP("this file system cannot make a file immutable");
    }
    // Closing asks nothing and says nothing; the store keeps the last saved list.
    const auto asked = CloseStrayBox(0);
    QVERIFY(form->close());
    QVERIFY(!*asked);
    QVERIFY(recorder->shown.isEmpty());
    QCOMPARE(ReadAll(path), Store({"a"}));
}

void TestMainForm::shippedEntriesStartTheUsersList_data() {
    QTest::addColumn<bool>("readable");
    QTest::newRow("shipped entries") << true;
    // Not the user's file: nothing of theirs is overwritten, so closing asks nothing.
    QTest::newRow("shipped store unreadable") << false;
}

void TestMainForm::shippedEntriesStartTheUsersList() {
    QFETCH(bool, readable);
    if (readable) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Store({"a", "b", "c"}));
    } else {
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("entrys.txt")));
    }
    const TStoreLocation store(dir->filePath("config/zanvel-tftp/entrys.txt"), path);
    form = std::make_unique<TForm1>(store);
    form->show();
    QApplication::setActiveWindow(form.get());
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QCOMPARE(lines(), readable ? QStringList({"a", "b", "c"}) : QStringList());
    QCOMPARE(recorder->shown.size(), readable ? 0 : 1);
    if (readable) {
        form->SetItemIndex(1);
        form->DeleteAction->trigger();
    } else {
        AddEntryX(*form);
    }
    const auto asked = CloseStrayBox(0);
    QVERIFY(form->close());
    QVERIFY(!*asked);
    if (readable) {
        QCOMPARE(ReadAll(store.Path), Store({"a", "c"}));
        QCOMPARE(ReadAll(path), Store({"a", "b", "c"}));
    }

    // The next start reads the user's own list.
    form.reset();
    EntryList = TEntryList();
    form = std::make_unique<TForm1>(store);
    QCOMPARE(lines(), readable ? QStringList({"a", "c"}) : QStringList({"x"}));
}

void TestMainForm::brokenListIsAsserted() {
    open({"a"});
    EntryList.Append(std::make_unique<TServerEntry>());
    form->FullPathChkBox->click();
    QCOMPARE(recorder->shown, QStringList{"Assertion failure (mainform, 124 行)"});
}

void TestMainForm::droppedFilesUploadInTurn_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("uploads");
    QTest::addColumn<QString>("status");
    QTest::newRow("entry selected") << 1 << "" << 3 << "3 個のファイルを送信しました";
    QTest::newRow("nothing selected") << -1 << "" << 0 << "before the drop";
    QTest::newRow("all refused")
        << 1 << "refuse" << 3
        << "3 個中 3 個失敗、0.bin: サーバーがエラーを返しました（error 2: read-only）";
    QTest::newRow("one missing") << 1 << "second missing" << 2
                                 << "3 個中 1 個失敗、1.bin: ファイルがオープンできません（%1: No "
                                    "such file or directory）";
    QTest::newRow("aborted on the second") << 1 << "abort" << 2 << "送信中止";
}

void TestMainForm::droppedFilesUploadInTurn() {
    QFETCH(int, selected);
    QFETCH(QString, how);
    QFETCH(int, uploads);
    QFETCH(QString, status);
    ScriptedTftpServer server;
    open({"a", "b"});
    EntryList.Get(1)->ServerPort = server.port();
    EntryList.Get(1)->BlkSize = 1468;
    EntryList.Get(1)->WindowSize = 4;
    form->SetItemIndex(selected);
    form->ShowStatus(QStringLiteral("before the drop"));
    QStringList paths;
    QList<QUrl> urls;
    QList<QByteArray> contents{"first", "second file", "the third"};
    for (const QByteArray& content : contents) {
        paths.append(dir->filePath(QString::number(paths.size()) + QStringLiteral(".bin")));
        QFile file(paths.last());
        if (how != "second missing" || paths.size() != 2) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        urls.append(QUrl::fromLocalFile(paths.last()));
    }
    if (how == "second missing") {
        contents.removeAt(1);
    }
    if (how == "refuse") {
        server.script = [&](const ScriptedTftpServer::Datagram&) {
            server.answer(ScriptedTftpServer::error(2, "read-only"));
        };
    }
    if (how == "abort") {
        // The user gives up while the second file is on its way: the third is not sent.
        server.onceAtBlock(0, [&](const ScriptedTftpServer::Datagram& d) {
            server.acknowledgeNormally(d);
            server.onceAtBlock(0, [&](const ScriptedTftpServer::Datagram&) {
                QTimer::singleShot(0, progress.get(), [&] { progress->AbortBtn->click(); });
            });
        });
    }
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(3, 3), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->Panel1, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(3, 3), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->Panel1, &drop);

    server.drain();
    QList<QByteArray> requests, payloads;
    for (const ScriptedTftpServer::Datagram& d : server.received) {
        (d.opcode() == 2 ? requests : payloads).append(d.bytes.mid(d.opcode() == 2 ? 2 : 4));
    }
    // One upload per file, in the drop's order, each as the entry sends it: under its remote
    // name, asking for its options.
    QCOMPARE(requests.size(), uploads);
    for (const QByteArray& request : requests) {
        const QByteArray asked("b.bin\0octet\0blksize\0001468\0windowsize\0004\0tsize\0", 43);
        QVERIFY2(request.startsWith(asked), request.constData());
    }
    if (selected >= 0 && (how.isEmpty() || how == "second missing")) {
        QCOMPARE(payloads, contents);
    }
    QCOMPARE(form->StatusText->text(), status.arg(paths.value(1)));
    QCOMPARE(form->ItemIndex(), selected);
    QCOMPARE(entryNames(), (QStringList{"a", "b"}));
    QCOMPARE(EntryList.Get(1)->LocalFile, QStringLiteral("C:\\images\\b.bin"));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
