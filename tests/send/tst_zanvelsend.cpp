// zanvel-send as a script runs it: its exit status, standard output and standard error, against
// the scripted server on loopback.

#include "entries/EntryList.h"
#include "entries/EntryStore.h"
#include "support/ScriptedTftpServer.h"
#include "support/UploadFixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

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
    void resultSaysWhereTheFileWent();
    void addressIsAlwaysHost_data();
    void addressIsAlwaysHost();
    void namedEntryAndPrefix();
    void standardInputAndEmptyFiles();
    void storeWithoutEntries();
    void listThatCannotBeWritten();
    void progressLineFitsTheTerminal();
    void savedOptionsAreAsked();
    void everyFileTriedFirstFailureCounts();
    void nameProblemsAndUsage_data();
    void nameProblemsAndUsage();
    void outputThatCannotBeWritten_data();
    void outputThatCannotBeWritten();
    void namesThatAreNotUtf8();
    void listNotMadeYet();
    void unreadableStore();
    void socketNotCreated();
    void interruptAborts();
    void waitsForTheDevice();
    void retriesAndJson();
    void eachRunsTogether();

private:
    // Runs zanvel-send with the test's store, the scripted server answering meanwhile.
    Ran run(const QStringList& arguments, const std::function<void(QProcess&)>& meanwhile = {});
    void writeStore(const QStringList& names, int port);

    QTemporaryDir dir;
    std::unique_ptr<ScriptedTftpServer> server;
    QString store;
    QString file;
    // Where the program's standard output goes instead of the test, when set.
    QString output;
};

void TestZanvelSend::init() {
    server = std::make_unique<ScriptedTftpServer>();
    output.clear();
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
    if (!output.isEmpty()) {
        process.setStandardOutputFile(output);
    }
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
    QTest::newRow("refused")        << "edge"                      << "error" << 3 << "the server refused the file or sent a bad packet: error 2: no (to entry";
    QTest::newRow("no local file")  << "missing"                   << "ack"   << 4 << "cannot read the local file, or the remote name is too long: %1/missing.bin: No such file or directory (to entry";
    QTest::newRow("a folder")       << "folder"                    << "ack"   << 4 << "cannot read the local file, or the remote name is too long: %1: file to open is a directory (to entry";
    QTest::newRow("name too long")  << "long-name"                 << "ack"   << 4 << "cannot read the local file, or the remote name is too long: the remote name is longer than 507 bytes (to host";
    QTest::newRow("host not found") << "no.such.host.invalid:69"   << "ack"   << 6 << "host not found (to host no.such.host.invalid port 69, remote file \"fw.bin\")";
    QTest::newRow("a prefix with a file is a host") << "prefix"    << "ack"   << 6 << "host not found (to host no.such.host.invalid port 69, remote file \"fw.bin\")";
    QTest::newRow("port too large") << "edge-70000"                << "ack"   << 7 << "socket error: port 70000 is beyond 65535 (to entry \"edge\": 127.0.0.1 port 70000";
    QTest::newRow("port 0")         << "127.0.0.1:0"               << "ack"   << 7 << "socket error: Invalid argument: 127.0.0.1 port 0 (to host 127.0.0.1 port 0";
    QTest::newRow("timed out")      << "edge"                      << "none"  << 8 << "timed out: no answer from the server (to entry \"edge\": 127.0.0.1 port";
    QTest::newRow("last block unacknowledged") << "edge"           << "nolast" << 9 << "all data sent; the last block was not acknowledged: the device may still be writing it (to entry \"edge\": 127.0.0.1 port";
    QTest::newRow("waited for in vain") << "edge --wait 1"        << "none"  << 8 << "timed out: no answer from the server (to entry \"edge\"";
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
    } else if (answer == u"nolast") {
        server->script = [this](const Datagram& d) {
            if (!d.isBlock(3)) {
                server->acknowledgeNormally(d);
            }
        };
    }
    QStringList arguments = target.split(u' ');
    line = line.arg(dir.path());
    if (target == u"missing") {
        arguments = QStringList{"edge", dir.filePath(QStringLiteral("missing.bin"))};
    } else if (target == u"folder") {
        arguments = QStringList{"edge", dir.path()};
    } else if (target == u"long-name") {
        arguments = QStringList{QStringLiteral("127.0.0.1:%1").arg(server->port()), file,
                                QString(508, u'n')};
    } else if (target == u"prefix") {
        // The start of an entry's name, followed by a file: the host it names, not the entry.
        writeStore({"edge", "no.such.host.invalid lab"}, server->port());
        arguments = QStringList{"no.such.host.invalid", file};
    } else if (target == u"edge-70000") {
        writeStore({"edge"}, 70000);
        arguments = QStringList{"edge"};
    } else if (target.contains(u':')) {
        arguments << file;
    }
    const Ran ran = run(arguments);
    QCOMPARE(ran.status, status);
    // Without a terminal a wait is said once, as it begins, before the result.
    const QString waited = QStringLiteral("waiting for the server (1 s left)\n");
    const QString result = arguments.contains(u"--wait") && ran.err.startsWith(waited)
                               ? ran.err.sliced(waited.size())
                               : ran.err;
    QVERIFY2(result.startsWith(line) && result.endsWith(u'\n'), qPrintable(ran.err));
    QCOMPARE(result.count(u'\n'), 1);
    QCOMPARE(ran.err.count(u'\n'), arguments.contains(u"--wait") ? 2 : 1);
    QCOMPARE(ran.out, QString());
}

void TestZanvelSend::resultSaysWhereTheFileWent() {
    const QString port = QString::number(server->port());
    QVERIFY(run({"edge"}).err.endsWith(
        QStringLiteral(" s (to entry \"edge\": 127.0.0.1 port %1, remote file \"edge.bin\")\n")
            .arg(port)));
    QVERIFY(run({"127.0.0.1:" + port, file, "other.bin"})
                .err.endsWith(QStringLiteral(" s (to host 127.0.0.1 port %1, remote file "
                                             "\"other.bin\")\n")
                                  .arg(port)));
    // A name says which of its addresses took the file.
    QVERIFY(run({"localhost:" + port, file})
                .err.endsWith(QStringLiteral(" s (to host localhost [127.0.0.1] port %1, remote "
                                             "file \"fw.bin\")\n")
                                  .arg(port)));
}

void TestZanvelSend::addressIsAlwaysHost_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("shown");
    // Entries whose names start with the address, or are the address: none is meant.
    QTest::newRow("IPv4") << "127.0.0.1"
                          << "127.0.0.1 old lab"
                          << "127.0.0.1";
    QTest::newRow("IPv4, exact name") << "127.0.0.1"
                                      << "127.0.0.1"
                                      << "127.0.0.1";
    QTest::newRow("IPv6") << "::1"
                          << "::1 lab"
                          << "::1";
    QTest::newRow("IPv6 in brackets") << "[::1]"
                                      << "[::1] lab"
                                      << "::1";
}

void TestZanvelSend::addressIsAlwaysHost() {
    QFETCH(QString, address);
    QFETCH(QString, entry);
    QFETCH(QString, shown);
    writeStore({entry}, server->port());
    // Port 69, where no server of the test's listens: one refused request is enough.
    const QString remote = QStringLiteral("new.cfg");
    for (const QStringList& operands :
         {QStringList{address, file}, QStringList{address, file, remote}}) {
        const Ran ran = run(QStringList{"--retries", "1"} + operands);
        QVERIFY2(ran.err.contains(QStringLiteral("(to host %1 port 69, remote file \"%2\")")
                                      .arg(shown, operands.size() == 3 ? remote : "fw.bin")),
                 qPrintable(ran.err));
    }
    server->drain();
    QVERIFY(server->received.isEmpty());
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
    QTest::newRow("an address alone")  << QStringList{"127.0.0.1"}       << "zanvel-send: \"127.0.0.1\" is an address, never an entry: name a LOCAL file to send to it\n" << false;
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

void TestZanvelSend::outputThatCannotBeWritten_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("what");
    QTest::newRow("--help") << QStringList{"--help"} << "the usage";
    QTest::newRow("--version") << QStringList{"--version"} << "the version";
    QTest::newRow("--list") << QStringList{"--list"} << "the list";
    QTest::newRow("--json") << QStringList{"--json", "edge"} << "the report";
}

void TestZanvelSend::outputThatCannotBeWritten() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, what);
    if (!QFileInfo::exists(QStringLiteral("/dev/full"))) {
        QSKIP("no /dev/full");
    }
    output = QStringLiteral("/dev/full");
    const Ran ran = run(arguments);
    QCOMPARE(ran.status, 1);
    QVERIFY2(
        ran.err.endsWith(
            QStringLiteral("zanvel-send: cannot write %1: No space left on device\n").arg(what)),
        qPrintable(ran.err));
}

void TestZanvelSend::namesThatAreNotUtf8() {
    // A Latin-1 file name, typed as its bytes: opened by them, and sent under them.
    const QByteArray local = QFile::encodeName(dir.path()) + "/caf\xe9.bin";
    const int descriptor = ::open(local.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    QVERIFY(descriptor >= 0);
    const QByteArray content = PatternBytes(700);
    QCOMPARE(::write(descriptor, content.constData(), size_t(content.size())), content.size());
    ::close(descriptor);
    // The server answers from this test's event loop.
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral("bash"),
                  {"-c", R"sh(exec "$0" --store "$1" "$2" "$(printf "$3")")sh",
                   QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"), store,
                   QStringLiteral("127.0.0.1:%1").arg(server->port()),
                   dir.path() + QStringLiteral("/caf\\351.bin")});
    QVERIFY(finished.wait(20000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(server->file(), content);
    QCOMPARE(server->received.constFirst().bytes.mid(2, 9), QByteArray("caf\xe9.bin\0", 9));
}

void TestZanvelSend::listNotMadeYet() {
    // The program's own list, before the window has saved one: as empty as an empty one.
    QTemporaryDir config;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"), {"--list"});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(QString::fromUtf8(process.readAllStandardError())
                 .startsWith(u"zanvel-send: no entries in "),
             "");
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
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
    QVERIFY2(failed.startsWith(QStringLiteral("cannot create a socket: Too many open files (to ")),
             qPrintable(failed));
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

    // Ctrl+C while standard input is read, before anything is sent: a pipe that never ends.
    const Ran reading = run(
        {"127.0.0.1:" + QString::number(server->port()), "-", "piped.bin"}, [](QProcess& process) {
            const auto readsPipe = [&process] {
                QFile wchan(QStringLiteral("/proc/%1/wchan").arg(process.processId()));
                return wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("pipe_read");
            };
            QTRY_VERIFY(readsPipe());
            ::kill(pid_t(process.processId()), SIGINT);
        });
    QCOMPARE(reading.status, 130);
    QCOMPARE(server->received.size(), 1);
}

void TestZanvelSend::standardInputAndEmptyFiles() {
    const QString host = QStringLiteral("127.0.0.1:%1").arg(server->port());
    const QByteArray piped = PatternBytes(3000);
    const Ran ran = run({host, "-", "piped.bin"}, [&](QProcess& process) {
        process.write(piped);
        process.closeWriteChannel();
    });
    QCOMPARE(ran.status, 0);
    QCOMPARE(server->file(), piped);

    // An empty file is one empty block, as every client sends it.
    server->received.clear();
    const QString empty = dir.filePath(QStringLiteral("empty.bin"));
    WriteFile(empty, QByteArray());
    QCOMPARE(run({host, empty}).status, 0);
    QCOMPARE(server->dataBlocks(), QList<quint16>{1});
    QCOMPARE(server->received.last().bytes.size(), 4);

    // A file whose size says 0 though it has content, as those in /proc do, is read to its end.
    QFile version(QStringLiteral("/proc/version"));
    if (version.open(QIODevice::ReadOnly)) {
        server->received.clear();
        QCOMPARE(run({host, version.fileName()}).status, 0);
        QCOMPARE(server->file(), version.readAll());
    }

    // A pipe named as a file tells no size; it is not taken for an empty file.
    const Ran named = run({host, "/dev/stdin", "piped.bin"}, [&](QProcess& process) {
        process.write(piped);
        process.closeWriteChannel();
    });
    QCOMPARE(named.status, 4);
    QVERIFY2(named.err.contains(QStringLiteral("/dev/stdin: not a regular file")),
             qPrintable(named.err));

    const Ran unnamed = run({host, "-"});
    QCOMPARE(unnamed.status, 2);
    QVERIFY(unnamed.err.startsWith(
        QStringLiteral("zanvel-send: standard input (-) needs a REMOTE name\n")));
}

void TestZanvelSend::storeWithoutEntries() {
    // Text that is no store, and bytes that are no text: no entry in either.
    WriteFile(store, "root:x:0:0:root:/root:/bin/bash\n");
    for (const QStringList& arguments : {QStringList{"--list"}, QStringList{"edge"}}) {
        const Ran ran = run(arguments);
        QCOMPARE(ran.status, 1);
        QCOMPARE(ran.err, QStringLiteral("zanvel-send: no entries in %1\n").arg(store));
        QCOMPARE(ran.out, QString());
    }
    WriteFile(store, QByteArray::fromHex("fffe5b0065006e00"));
    QCOMPARE(run({"--list"}).status, 1);
    // A host needs no entry.
    QCOMPARE(run({QStringLiteral("127.0.0.1:%1").arg(server->port()), file}).status, 0);
}

void TestZanvelSend::listThatCannotBeWritten() {
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"), {"--store", store, "--list"});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("zanvel-send: cannot write the list: No space left on device\n"));
}

void TestZanvelSend::progressLineFitsTheTerminal() {
    int terminal = -1;
    int screen = -1;
    const winsize narrow{5, 40, 0, 0};
    QVERIFY(openpty(&terminal, &screen, nullptr, nullptr, &narrow) == 0);
    // Two files: each line starts with the file's long path.
    const QString second = dir.filePath(QString(60, u's'));
    WriteFile(second, PatternBytes(700));
    QProcess process;
    process.setChildProcessModifier([screen] { dup2(screen, STDERR_FILENO); });
    process.start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"),
                  {"--store", store, "--retransmit", "100", "edge", file, second});
    QSignalSpy finished(&process, &QProcess::finished);
    QVERIFY(finished.wait(20000));
    ::close(screen);
    QByteArray shown;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) {
        shown.append(buffer, n);
    }
    ::close(terminal);
    QCOMPARE(process.exitCode(), 0);
    // Each redraw starts with a carriage return and ends by clearing the rest of the line.
    int redraws = 0;
    for (const QByteArray& line : shown.split('\r')) {
        if (line.endsWith("\x1b[K")) {
            ++redraws;
            QVERIFY2(line.size() - 3 < 40, line.constData());
        }
    }
    QVERIFY(redraws >= 2);
}

void TestZanvelSend::savedOptionsAreAsked() {
    TEntryList entries;
    LoadEntries(entries, store);
    entries.Get(2)->BlkSize = 1024;
    entries.Get(2)->WindowSize = 2;
    SaveEntries(entries, store);
    QCOMPARE(run({"edge"}).status, 0);
    QCOMPARE(
        server->received.first().bytes,
        QByteArray("\0\2edge.bin\0octet\0blksize\0001024\0windowsize\0002\0tsize\0001500\0", 54));
}

QTEST_GUILESS_MAIN(TestZanvelSend)
#include "tst_zanvelsend.moc"

void TestZanvelSend::waitsForTheDevice() {
    // The device misses the first request while it starts; the wait sends another a second
    // later, where five sends of 100 ms would have given up.
    int missed = 0;
    server->script = [&](const Datagram& d) {
        if (d.isBlock(0) && missed++ == 0) {
            return;
        }
        server->acknowledgeNormally(d);
    };
    const Ran ran = run({"edge", "--wait", "10", "--retries", "2"});
    QCOMPARE(ran.status, 0);
    QCOMPARE(missed, 2);
    QCOMPARE(server->file(), PatternBytes(1500));
}

void TestZanvelSend::retriesAndJson() {
    server->script = [this](const Datagram& d) {
        if (!d.isBlock(3)) {
            server->acknowledgeNormally(d);
        }
    };
    const Ran ran = run({"edge", "--retries", "3", "--json", "-q"});
    QCOMPARE(ran.status, 9);
    QCOMPARE(server->dataBlocks(), (QList<quint16>{1, 2, 3, 3, 3}));
    QCOMPARE(ran.err, QString());
    QCOMPARE(ran.out.count(u'\n'), 1);
    QJsonObject report = QJsonDocument::fromJson(ran.out.toUtf8()).object();
    QVERIFY(report.take("seconds").toDouble() > 0);
    const QJsonObject expected{
        {"entry", "edge"},        {"server", "127.0.0.1"},
        {"address", "127.0.0.1"}, {"port", server->port()},
        {"remote", "edge.bin"},   {"bytes", 1024},
        {"result", "timeout"},    {"status", 9},
        {"reason", QJsonValue()}, {"server_error", QJsonValue()},
    };
    QCOMPARE(report, expected);
}

void TestZanvelSend::eachRunsTogether() {
    // Three entries, two matching, with the scripted server taking both at the same time: their
    // write requests come before either's last block.
    writeStore({"core-1", "core-2", "edge"}, server->port());
    const QString other = dir.filePath(QStringLiteral("other.bin"));
    WriteFile(other, PatternBytes(3000));
    const Ran ran = run({"--each", "core-*", other, "--json"});
    QCOMPARE(ran.status, 0);
    QStringList requests;
    int lastRequestAt = -1, firstLastBlockAt = -1;
    for (int i = 0; i < server->received.size(); ++i) {
        const Datagram& d = server->received[i];
        if (d.opcode() == 2) {
            requests.append(QString::fromUtf8(d.bytes.mid(2).split('\0').constFirst()));
            lastRequestAt = i;
        } else if (d.isBlock(6) && firstLastBlockAt < 0) {
            firstLastBlockAt = i;
        }
    }
    QCOMPARE(requests, (QStringList{"core-1.bin", "core-2.bin"}));
    QVERIFY(lastRequestAt < firstLastBlockAt);
    QCOMPARE(ran.out.count(u'\n'), 2);
    QVERIFY(ran.out.contains(R"("entry":"core-1")") && ran.out.contains(R"("entry":"core-2")"));
    QVERIFY2(ran.err.endsWith(QStringLiteral("2 of 2 completed\n")), qPrintable(ran.err));
    QCOMPARE(run({"--each", "nothing*"}).status, 2);
    QCOMPARE(run({"--each", "core-*", "a", "b"}).status, 2);
}
