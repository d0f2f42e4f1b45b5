#include "support/ExceptionRecorder.h"
#include "support/Thrown.h"
#include "ui/DROPDST.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <memory>

namespace {

struct Drop {
    QObject* sender;
    QStringList files;
    QPoint at;
};

std::unique_ptr<QMimeData> Files(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

// Drags the paths onto the widget and lets go at the point; true when the drag was taken.
bool DragAndDrop(QWidget* widget, const QStringList& paths, QPoint at = QPoint(5, 6)) {
    const auto data = Files(paths);
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &drop);
    return drop.isAccepted();
}

// A drag as a file manager starts it: these actions offered, this one proposed.
struct OfferedDrag : QDragEnterEvent {
    OfferedDrag(QMimeData* data, Qt::DropActions offered, Qt::DropAction proposed)
        : QDragEnterEvent(QPoint(5, 6), offered, data, Qt::LeftButton, Qt::NoModifier) {
        m_defaultAction = proposed;
        m_dropAction = proposed;
    }
};

struct OfferedDrop : QDropEvent {
    OfferedDrop(QMimeData* data, Qt::DropActions offered, Qt::DropAction proposed)
        : QDropEvent(QPointF(5, 6), offered, data, Qt::LeftButton, Qt::NoModifier) {
        m_defaultAction = proposed;
        m_dropAction = proposed;
    }
};

} // namespace

class TestDropDst : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void dropGivesOneCallWithAllPaths_data();
    void dropGivesOneCallWithAllPaths();
    void handlerFailureIsShownAndNextDropWorks();
    void acceptDropOffRefuses();
    void onlyLocalFilesAreTaken();
    void everyDropIsACopy_data();
    void everyDropIsACopy();
    void destroyedControlLeavesNoHook();
    void formTarget();
    void recreatedWindowIsHookedAgain();
    void writingTheSameControlHooksOnce();

private:
    std::unique_ptr<QWidget> form;
    QWidget* panel = nullptr;
    TDropDst* dst = nullptr;
    QList<Drop> drops;
};

void TestDropDst::init() {
    form = std::make_unique<QWidget>();
    panel = new QWidget(form.get());
    panel->setGeometry(16, 16, 33, 33);
    dst = new TDropDst(form.get());
    dst->SetControl(panel);
    dst->OnFileDrop = [this](QObject* sender, const QStringList& files, int x, int y) {
        drops.append({sender, files, QPoint(x, y)});
    };
    dst->Loaded();
    drops.clear();
}

void TestDropDst::cleanup() {
    form.reset();
}

void TestDropDst::dropGivesOneCallWithAllPaths_data() {
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("three files, in order")
        << QStringList{"/srv/b.bin", "/srv/a.bin", "/home/u/fw image.img"};
    QTest::newRow("a folder") << QStringList{"/srv/tftp"};
    QTest::newRow("300 characters") << QStringList{"/" + QString(299, QLatin1Char('p'))};
    QTest::newRow("same file twice") << QStringList{"/a", "/a"};
}

void TestDropDst::dropGivesOneCallWithAllPaths() {
    QFETCH(QStringList, paths);
    QVERIFY(panel->acceptDrops());
    QVERIFY(!form->acceptDrops());
    QVERIFY(DragAndDrop(panel, paths, QPoint(7, 9)));
    QCOMPARE(drops.size(), 1);
    QCOMPARE(drops[0].sender, dst);
    QCOMPARE(drops[0].files, paths);
    QCOMPARE(drops[0].at, QPoint(7, 9));
}

void TestDropDst::handlerFailureIsShownAndNextDropWorks() {
    ExceptionRecorder recorder;
    dst->OnFileDrop = [this](QObject*, const QStringList& files, int, int) {
        if (files.first() == "/bad") {
            throw std::runtime_error("handler failed");
        }
        drops.append({nullptr, files, {}});
    };
    QVERIFY(DragAndDrop(panel, {"/bad"}));
    QVERIFY(DragAndDrop(panel, {"/good"}));
    QCOMPARE(recorder.shown, QStringList{"handler failed"});
    QCOMPARE(drops.size(), 1);

    // Without a handler a drop is taken and does nothing.
    dst->OnFileDrop = nullptr;
    QVERIFY(DragAndDrop(panel, {"/x"}));
}

void TestDropDst::acceptDropOffRefuses() {
    dst->SetAcceptDrop(false);
    QVERIFY(!panel->acceptDrops());
    // Refused at the drag's entry already, not only at the drop.
    const auto files = Files({QStringLiteral("/a")});
    QDragEnterEvent offered(QPoint(1, 1), Qt::CopyAction, files.get(), Qt::LeftButton,
                            Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &offered);
    QVERIFY(!offered.isAccepted());
    QVERIFY(!DragAndDrop(panel, {"/a"}));
    // Off stays off when something else lets the widget take drops.
    panel->setAcceptDrops(true);
    QDragEnterEvent again(QPoint(1, 1), Qt::CopyAction, files.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &again);
    QVERIFY(!again.isAccepted());
    QVERIFY(!DragAndDrop(panel, {"/a"}));
    QVERIFY(drops.isEmpty());
    dst->SetAcceptDrop(true);
    QVERIFY(panel->acceptDrops());
    // A drag of text only is not for this target.
    QMimeData text;
    text.setText(QStringLiteral("/a"));
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &enter);
    QVERIFY(!enter.isAccepted());
}

void TestDropDst::onlyLocalFilesAreTaken() {
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/fw.bin"))});
    QDragEnterEvent remote(QPoint(1, 1), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &remote);
    QVERIFY(!remote.isAccepted());

    QMimeData mixed;
    mixed.setUrls({QUrl(QStringLiteral("https://example.org/fw.bin")),
                   QUrl::fromLocalFile(QStringLiteral("/srv/fw.bin"))});
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &mixed, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &mixed, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &drop);
    QCOMPARE(drops.size(), 1);
    QCOMPARE(drops[0].files, QStringList{"/srv/fw.bin"});
}

void TestDropDst::everyDropIsACopy_data() {
    QTest::addColumn<Qt::DropActions>("offered");
    QTest::addColumn<Qt::DropAction>("proposed");
    QTest::addColumn<bool>("taken");
    QTest::newRow("copy or move, move proposed")
        << Qt::DropActions(Qt::CopyAction | Qt::MoveAction) << Qt::MoveAction << true;
    QTest::newRow("copy, move or link, link proposed")
        << Qt::DropActions(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction) << Qt::LinkAction
        << true;
    QTest::newRow("copy only") << Qt::DropActions(Qt::CopyAction) << Qt::CopyAction << true;
    QTest::newRow("move only") << Qt::DropActions(Qt::MoveAction) << Qt::MoveAction << false;
}

void TestDropDst::everyDropIsACopy() {
    QFETCH(Qt::DropActions, offered);
    QFETCH(Qt::DropAction, proposed);
    QFETCH(bool, taken);
    const auto data = Files({QStringLiteral("/tmp/a.bin")});
    OfferedDrag enter(data.get(), offered, proposed);
    QCoreApplication::sendEvent(panel, &enter);
    QCOMPARE(enter.isAccepted(), taken);
    OfferedDrop drop(data.get(), offered, proposed);
    QCoreApplication::sendEvent(panel, &drop);
    QCOMPARE(drop.isAccepted(), taken);
    QCOMPARE(drops.size(), taken ? 1 : 0);
    if (taken) {
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
    }
}

void TestDropDst::destroyedControlLeavesNoHook() {
    delete panel;
    QCOMPARE(dst->Control(), nullptr);
    QCOMPARE(dst->HookedWnd(), nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(dst->HookedWnd(), nullptr);
    // With no control, writing the target hooks nothing and raises nothing.
    dst->SetTarget(htControl);
    QCOMPARE(dst->HookedWnd(), nullptr);
}

void TestDropDst::formTarget() {
    dst->SetTarget(htForm);
    dst->Loaded();
    QCOMPARE(dst->HookedWnd(), form.get());
    QVERIFY(form->acceptDrops());
    QVERIFY(DragAndDrop(form.get(), {"/f"}));
    QCOMPARE(drops.size(), 1);

    // No window up the owner chain of a control-less hook: nothing can be hooked.
    TDropDst orphan;
    QCOMPARE(ThrownMessage([&] { orphan.SetTarget(htForm); }),
             QStringLiteral("フック先を特定できません。"));
    QCOMPARE(orphan.Target(), htForm);
    QCOMPARE(orphan.HookedWnd(), nullptr);
}

void TestDropDst::recreatedWindowIsHookedAgain() {
    QWidget other;
    panel->setParent(&other);
    QCOMPARE(dst->HookedWnd(), nullptr);
    QTRY_COMPARE(dst->HookedWnd(), panel);
    QVERIFY(panel->acceptDrops());
    QVERIFY(DragAndDrop(panel, {"/after"}));
    QCOMPARE(drops.size(), 1);

    // A native window destroyed and made again.
    panel->winId();
    QTRY_COMPARE(dst->HookedWnd(), panel);
    panel->setAttribute(Qt::WA_NativeWindow);
    panel->setParent(form.get());
    QTRY_COMPARE(dst->HookedWnd(), panel);
    QVERIFY(DragAndDrop(panel, {"/again"}));
    QCOMPARE(drops.size(), 2);
}

void TestDropDst::writingTheSameControlHooksOnce() {
    int enters = 0;
    dst->OnFileDrop = [&](QObject*, const QStringList&, int, int) {
        ++enters;
    };
    dst->SetControl(dst->Control());
    dst->SetControl(dst->Control());
    QCOMPARE(dst->HookedWnd(), panel);
    // A re-hook request that finds the hook in place leaves it single.
    panel->setParent(nullptr);
    panel->setParent(form.get());
    dst->SetControl(panel);
    QCoreApplication::processEvents();
    QVERIFY(DragAndDrop(panel, {"/once"}));
    QCOMPARE(enters, 1);
}

QTEST_MAIN(TestDropDst)
#include "tst_dropdst.moc"
