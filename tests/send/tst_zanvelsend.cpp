// zanvel-send as a script runs it: its exit status, standard output and standard error, against
// the scripted server on loopback.

#include "entries/EntryList.h"
#include "entries/EntryStore.h"
#include "support/ScriptedTftpServer.h"
#include "support/UploadFixture.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using Datagram = ScriptedTftpServer::Datagram;

namespace {

struct Ran {
    int status = -1;
    QString out;
    QString err;
};

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestZanvelSend : public QObject {
    Q_OBJECT

private slots:
    void init();
    void listsEntries();
    void exitStatus_data();
    void exitStatus();
    void namedEntryAndPrefix();
    void everyFileTriedFirstFailureCounts();
    void nameProblemsAndUsage_data();
    void nameProblemsAndUsage();
    void unreadableStore();
    void socketNotCreated();
    void interruptAborts();

private:
    // Runs zanvel-send with the test's store, the scripted server answering meanwhile.
    Ran run(const QStringList& arguments, const std::function<void(QProcess&)>& meanwhile = {});
    void writeStore(const QStringList& names, int port);

    QTemporaryDir dir;
    std::unique_ptr<ScriptedTftpServer> server;
    QString store;
    QString file;
};

void TestZanvelSend::init() {
    server = std::make_unique<ScriptedTftpServer>();
    store = dir.filePath(QStringLiteral("entrys.txt"));
    file = dir.filePath(QStringLiteral("fw.bin"));
    WriteFile(file, PatternBytes(1500));
    writeStore({"core router", "core switch", "edge"}, server->port());
}

void TestZanvelSend::writeStore(const QStringList& names, int port) {
    TEntryList entries;
    for (const QString& name : names) {
        auto entry = std::make_unique<TServerEntry>();
        entry->EntryName = name;
        entry->ServerAddress = QStringLiteral("127.0.0.1");
        entry->ServerPort = port;
        entry->LocalFile = file;
        entry->RemoteFile = name + QStringLiteral(".bin");
        entries.Append(std::move(entry));
    }
    SaveEntries(entries, store);
}

Ran TestZanvelSend::run(const QStringList& arguments,
                        const std::function<void(QProcess&)>& meanwhile) {
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"),
                  QStringList{"--store", store, "--retransmit", "100"} + arguments);
    if (meanwhile) {
        meanwhile(process);
    }
    if (!finished.wait(20000)) {
        process.kill();
        process.waitForFinished();
    }
    Ran ran;
    ran.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = QString::fromUtf8(process.readAllStandardOutput());
    ran.err = QString::fromUtf8(process.readAllStandardError());
    return ran;
}

void TestZanvelSend::listsEntries() {
    const Ran ran = run({"--list"});
    QCOMPARE(ran.status, 0);
    const QString port = QString::number(server->port());
    QCOMPARE(ran.out, QStringLiteral("core router\t127.0.0.1\t%1\t%2\tcore router.bin\n"
                                     "core switch\t127.0.0.1\t%1\t%2\tcore switch.bin\n"
                                     "edge\t127.0.0.1\t%1\t%2\tedge.bin\n")
                          .arg(port, file));
    QCOMPARE(ran.err, QString());
}

void TestZanvelSend::exitStatus_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("answer"); // what the server does
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("line");
    // clang-format off
    QTest::newRow("completed")      << "edge"                      << "ack"   << 0 << "completed: 1.5 KiB in";
    QTest::newRow("refused")        << "edge"                      << "error" << 3 << "the server refused the file or sent a bad packet";
    QTest::newRow("no local file")  << "missing"                   << "ack"   << 4 << "cannot read the local file, or the remote name is too long";
    QTest::newRow("host not found") << "no.such.host.invalid:69"   << "ack"   << 6 << "host not found";
    QTest::newRow("port too large") << "edge-70000"                << "ack"   << 7 << "socket error";
    QTest::newRow("timed out")      << "edge"                      << "none"  << 8 << "timed out: no answer from the server";
    // clang-format on
}

void TestZanvelSend::exitStatus() {
    QFETCH(QString, target);
    QFETCH(QString, answer);
    QFETCH(int, status);
    QFETCH(QString, line);
    if (answer == u"error") {
        server->script = [this](const Datagram&) {
            server->answer(ScriptedTftpServer::error(2, "no"));
        };
    } else if (answer == u"none") {
        server->script = [](const Datagram&) {
        };
    }
    QStringList arguments{target};
    if (target == u"missing") {
        arguments = QStringList{"edge", dir.filePath(QStringLiteral("missing.bin"))};
    } else if (target == u"edge-70000") {
        writeStore({"edge"}, 70000);
        arguments = QStringList{"edge"};
    } else if (target.contains(u':')) {
        arguments << file;
    }
    const Ran ran = run(arguments);
    QCOMPARE(ran.status, status);
    QVERIFY2(ran.err.startsWith(line) && ran.err.endsWith(u'\n'), qPrintable(ran.err));
    QCOMPARE(ran.err.count(u'\n'), 1);
    QCOMPARE(ran.out, QString());
}

void TestZanvelSend::namedEntryAndPrefix() {
    QCOMPARE(run({"core switch"}).status, 0);
    QCOMPARE(run({"EDG"}).status, 0);
    QCOMPARE(run({QStringLiteral("127.0.0.1:%1").arg(server->port()), file}).status, 0);
    QCOMPARE(run({QStringLiteral("127.0.0.1:%1").arg(server->port()), file, "other.bin", "-q"}).err,
             QString());
    QStringList names;
    for (const Datagram& d : server->received) {
        if (d.opcode() == 2) {
            names.append(QString::fromUtf8(d.bytes.mid(2).split('\0').constFirst()));
        }
    }
    QCOMPARE(names, (QStringList{"core switch.bin", "edge.bin", "fw.bin", "other.bin"}));
}

void TestZanvelSend::everyFileTriedFirstFailureCounts() {
    const QString second = dir.filePath(QStringLiteral("second.bin"));
    WriteFile(second, PatternBytes(700));
    const Ran ran = run({"edge", file, dir.filePath(QStringLiteral("missing.bin")), second});
    QCOMPARE(ran.status, 4);
    QCOMPARE(ran.err.count(u'\n'), 3);
    QVERIFY(ran.err.contains(second + QStringLiteral(": completed: 700 B in")));
    // Both files went to the entry's remote name, one after the other.
    int requests = 0;
    for (const Datagram& d : server->received) {
        requests += d.opcode() == 2 && d.bytes.mid(2).startsWith("edge.bin");
    }
    QCOMPARE(requests, 2);
    QCOMPARE(server->dataBlocks().size(), 3 + 2);
}

void TestZanvelSend::nameProblemsAndUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("usage");
    // clang-format off
    QTest::newRow("ambiguous prefix")  << QStringList{"core"}            << "zanvel-send: \"core\" could be any of: core router, core switch\n" << false;
    QTest::newRow("unknown name")      << QStringList{"firewall"}        << "zanvel-send: no entry named \"firewall\"\n"                         << false;
    QTest::newRow("host, too many")    << QStringList{"h:69", "a", "b", "c"} << "zanvel-send: a host takes one LOCAL file and at most one REMOTE name\n" << true;
    QTest::newRow("bad port")          << QStringList{"h:99999", "a"}    << "zanvel-send: \"h:99999\" is neither an entry nor HOST[:PORT]\n"   << true;
    QTest::newRow("unknown option")    << QStringList{"--fast"}          << "zanvel-send: unknown option --fast\n"                              << true;
    // clang-format on
}

void TestZanvelSend::nameProblemsAndUsage() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QFETCH(bool, usage);
    const Ran ran = run(arguments);
    QCOMPARE(ran.status, 2);
    QVERIFY2(ran.err.startsWith(message), qPrintable(ran.err));
    QCOMPARE(ran.err.contains(QStringLiteral("usage: zanvel-send")), usage);
    QVERIFY(server->received.isEmpty());
}

void TestZanvelSend::unreadableStore() {
    for (const QString& path : {dir.filePath(QStringLiteral("none.txt")), dir.path()}) {
        QProcess process;
        process.start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"),
                      {"--store", path, "--list"});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 QStringLiteral("zanvel-send: cannot read the entries in %1\n").arg(path));
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
    }
}

void TestZanvelSend::socketNotCreated() {
#ifdef ZANVEL_SANITIZED
    QSKIP("the sanitizers' own checks fail when file descriptors run out");
#endif
    // Too few file descriptors left for the upload's socket: how few depends on what the
    // runtime opens before, so the limit is raised until the socket is what fails.
    const QStringList arguments{"--store", store, "--retransmit", "100", "edge"};
    QString failed;
    for (int limit = 4; limit <= 64 && failed.isEmpty(); ++limit) {
        QProcess process;
        process.setChildProcessModifier([limit] {
            const rlimit files{rlim_t(limit), rlim_t(limit)};
            setrlimit(RLIMIT_NOFILE, &files);
        });
        process.start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"), arguments);
        QVERIFY(process.waitForFinished(10000));
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 5) {
            failed = QString::fromUtf8(process.readAllStandardError());
        }
    }
    QVERIFY(failed.endsWith(QStringLiteral("cannot create a socket\n")));
}

void TestZanvelSend::interruptAborts() {
    // The server takes the request and falls silent; Ctrl+C comes while the upload waits.
    server->script = [](const Datagram&) {
    };
    const Ran ran = run({"edge", "--retransmit", "3000"}, [this](QProcess& process) {
        QTRY_VERIFY(!server->received.isEmpty());
        ::kill(pid_t(process.processId()), SIGINT);
    });
    QCOMPARE(ran.status, 130);
    QCOMPARE(ran.err, QStringLiteral("aborted\n"));
    QCOMPARE(server->received.size(), 1);
}

QTEST_GUILESS_MAIN(TestZanvelSend)
#include "tst_zanvelsend.moc"
