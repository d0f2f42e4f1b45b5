// zanvel-send --each against eight real servers at once: six tftpd-hpa that take the file, one
// that refuses it and one that never answers.

#include "entries/EntryList.h"
#include "entries/EntryStore.h"
#include "send/SendConsole.h"
#include "support/LoopbackSocket.h"
#include "support/RealTftpServer.h"
#include "support/UploadFixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

class TestSendEach : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void eightDevices();
    void interruptStartsNoMore();
    void terminalOf24RowsAnd40Columns();
    void closedOutputStopsTheBatch();
    void fewerAtOnceWithinOpenFiles();

private:
    // sw-1 ... sw-8, sw-4 refusing and sw-7 silent; then edge, which no pattern below matches.
    void writeStore();
    QProcess* start(const QStringList& arguments);

    QTemporaryDir dir;
    QString store;
    QString firmware;
    std::vector<std::unique_ptr<RealTftpServer>> servers;
    LoopbackSocket silent;
};

namespace {

constexpr int Refusing = 3;
constexpr int Silent = 6;
const QByteArray Firmware = PatternBytes(200 * 1024);

} // namespace

void TestSendEach::initTestCase() {
    store = dir.filePath(QStringLiteral("entrys.txt"));
    firmware = dir.filePath(QStringLiteral("fw.bin"));
    QFile file(firmware);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Firmware);
    file.close();
    for (int i = 0; i < 8; ++i) {
        servers.push_back(i == Silent ? nullptr
                                      : std::make_unique<RealTftpServer>(RealTftpServer::TftpdHpa,
                                                                         i != Refusing));
        if (servers.back()) {
            SKIP_UNLESS_RUNNING(*servers.back());
        }
    }
    writeStore();
}

void TestSendEach::writeStore() {
    TEntryList entries;
    for (int i = 0; i <= 8; ++i) {
        auto entry = std::make_unique<TServerEntry>();
        entry->EntryName = i < 8 ? QStringLiteral("sw-%1").arg(i + 1) : QStringLiteral("edge");
        entry->ServerAddress = QStringLiteral("127.0.0.1");
        entry->ServerPort = i == 8 ? 9 : servers[i] ? servers[i]->port() : silent.port();
        entry->LocalFile = dir.filePath(QStringLiteral("own.bin"));
        entry->RemoteFile = entry->EntryName + QStringLiteral(".bin");
        entries.Append(std::move(entry));
    }
    SaveEntries(entries, store);
}

QProcess* TestSendEach::start(const QStringList& arguments) {
    auto* process = new QProcess(this);
    process->start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"),
                   QStringList{"--store", store, "--retransmit", "100", "--retries", "3"} +
                       arguments);
    return process;
}

void TestSendEach::eightDevices() {
    QProcess* send = start({"--each", "sw-*", firmware, "--json"});
    QVERIFY(send->waitForFinished(60000));
    // The first failure in the list's order: sw-4's refusal, not sw-7's silence.
    QCOMPARE(send->exitCode(), 3);

    const QList<QByteArray> lines = send->readAllStandardOutput().split('\n');
    QCOMPARE(lines.size(), 9);
    QVERIFY(lines.last().isEmpty());
    QMap<QString, QJsonObject> reports;
    for (const QByteArray& line : lines.first(8)) {
        const QJsonObject report = QJsonDocument::fromJson(line).object();
        reports.insert(report.value("entry").toString(), report);
    }
    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("sw-%1").arg(i + 1);
        const QJsonObject report = reports.value(name);
        const int status = i == Refusing ? 3 : i == Silent ? 8 : 0;
        QCOMPARE(report.value("status").toInt(-1), status);
        QCOMPARE(report.value("remote").toString(), name + ".bin");
        if (status != 0) {
            QCOMPARE(report.value("server_error").isNull(), i == Silent);
            continue;
        }
        QCOMPARE(report.value("bytes").toInteger(), Firmware.size());
        QFile stored(servers[i]->filePath(name + ".bin"));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY2(stored.readAll() == Firmware, qPrintable(name));
    }

    const QString err = QString::fromUtf8(send->readAllStandardError());
    const QString summary = err.sliced(err.indexOf(u"6 of 8 completed"));
    QVERIFY2(summary.startsWith(u"6 of 8 completed; failed:\n  sw-4: the server refused the file"),
             qPrintable(err));
    QVERIFY2(summary.contains(u"\n  sw-7: timed out: no answer from the server"), qPrintable(err));
    QCOMPARE(summary.count(u'\n'), 3);
    // Without a terminal, one line for each upload as it ends, before the summary.
    QCOMPARE(err.count(u'\n'), 8 + 3);
}

void TestSendEach::interruptStartsNoMore() {
    // One at a time, the first one silent: Ctrl+C while it waits ends it, and the rest never
    // start.
    while (silent.receive(0)) {
        // What the last test sent it.
    }
    QFile::remove(servers[7]->filePath("sw-8.bin"));
    QProcess* send =
        start({"--each", "sw-[78]", firmware, "--jobs", "1", "--retries", "100", "--json"});
    QVERIFY(send->waitForStarted());
    QVERIFY(silent.receive(5000));
    ::kill(pid_t(send->processId()), SIGINT);
    QVERIFY(send->waitForFinished(10000));
    QCOMPARE(send->exitStatus(), QProcess::NormalExit);
    QCOMPARE(send->exitCode(), 130);
    QVERIFY(!QFile::exists(servers[7]->filePath("sw-8.bin")));
    // Both are accounted for, the one Ctrl+C ended and the one it kept from starting.
    QStringList results;
    for (const QByteArray& line : send->readAllStandardOutput().split('\n')) {
        if (!line.isEmpty()) {
            const QJsonObject report = QJsonDocument::fromJson(line).object();
            results.append(report.value("entry").toString() + u' ' +
                           report.value("result").toString());
        }
    }
    QCOMPARE(results, (QStringList{"sw-7 aborted", "sw-8 not started"}));
    QVERIFY(QString::fromUtf8(send->readAllStandardError())
                .endsWith(u"0 of 2 completed; failed:\n  sw-7: aborted\n  sw-8: not started\n"));
}

void TestSendEach::terminalOf24RowsAnd40Columns() {
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty()) {
        QSKIP("no script(1) for a pseudo-terminal");
    }
    // 32 devices with long Japanese names, all silent for a while, all at once.
    const QString wide = dir.filePath(QStringLiteral("wide.txt"));
    TEntryList entries;
    for (int i = 0; i < 32; ++i) {
        auto entry = std::make_unique<TServerEntry>();
        entry->EntryName = QString::fromUtf8("東京本社コアスイッチ%1号機").arg(i + 1);
        entry->ServerAddress = QStringLiteral("127.0.0.1");
        entry->ServerPort = silent.port();
        entry->LocalFile = firmware;
        entry->RemoteFile = QStringLiteral("sw.bin");
        entries.Append(std::move(entry));
    }
    SaveEntries(entries, wide);
    QProcess terminal;
    terminal.start(QStringLiteral("script"),
                   {"-qfec",
                    QStringLiteral("stty cols 40 rows 24; exec %1/zanvel-send --store %2 "
                                   "--retransmit 100 --retries 3 --jobs 32 --each '*'")
                        .arg(QStringLiteral(ZANVEL_BINARY_DIR), wide),
                    "/dev/null"});
    QVERIFY(terminal.waitForFinished(30000));
    const QString shown = QString::fromUtf8(terminal.readAllStandardOutput());
    QVERIFY2(shown.contains(QStringLiteral("and 12 more running")), qPrintable(shown));
    // The cursor never goes up further than the lines drawn, 22 at most.
    const QRegularExpression up(QStringLiteral("\x1b\\[(\\d+)A"));
    for (auto match = up.globalMatch(shown); match.hasNext();) {
        QVERIFY(match.next().captured(1).toInt() <= 21);
    }
    // No line drawn in place is wider than the terminal less a column, wide characters counted
    // twice; the results, written once, may wrap.
    const QRegularExpression escape(QStringLiteral("\x1b\\[[0-9;]*[A-Za-z]"));
    for (QString line : shown.split(QRegularExpression(QStringLiteral("[\r\n]")))) {
        line.remove(escape);
        QVERIFY2(line.contains(u"(to entry") || DisplayColumns(line) < 40, qPrintable(line));
    }
}

void TestSendEach::closedOutputStopsTheBatch() {
    // sw-1's report is read, then the pipe closes while silent sw-7 is tried: its report finds
    // nobody to read it, and sw-8 never starts.
    QFile::remove(servers[7]->filePath(QStringLiteral("sw-8.bin")));
    auto* send = new QProcess(this);
    send->start(QStringLiteral("bash"),
                {"-c", R"("$0" "$@" | head -n 1 >/dev/null; exit "${PIPESTATUS[0]}")",
                 QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"), "--store", store, "--retransmit",
                 "100", "--retries", "3", "--each", "sw-[178]", firmware, "--jobs", "1", "--json"});
    QVERIFY(send->waitForFinished(30000));
    QCOMPARE(send->exitStatus(), QProcess::NormalExit);
    QCOMPARE(send->exitCode(), 1);
    const QString err = QString::fromUtf8(send->readAllStandardError());
    QVERIFY2(err.endsWith(u"zanvel-send: cannot write the reports: Broken pipe\n"),
             qPrintable(err));
    QVERIFY(!QFile::exists(servers[7]->filePath(QStringLiteral("sw-8.bin"))));
}

void TestSendEach::fewerAtOnceWithinOpenFiles() {
    // Soft and hard limit alike, as `ulimit -n` sets them: room for three uploads at a time.
    constexpr rlim_t Files = 64 + 3 * 4;
    for (const int i : {0, 1, 2, 4}) {
        QFile::remove(servers[i]->filePath(QStringLiteral("sw-%1.bin").arg(i + 1)));
    }
    auto* send = new QProcess(this);
    send->setChildProcessModifier([] {
        const rlimit limit{Files, Files};
        setrlimit(RLIMIT_NOFILE, &limit);
    });
    send->start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"),
                {"--store", store, "--each", "sw-[1235]", firmware, "--jobs", "1024"});
    QVERIFY(send->waitForFinished(60000));
    const QString err = QString::fromUtf8(send->readAllStandardError());
    QCOMPARE(send->exitCode(), 0);
    QVERIFY2(err.startsWith(QStringLiteral("zanvel-send: 3 uploads at a time instead of 4: the "
                                           "system allows %1 open files\n")
                                .arg(Files)),
             qPrintable(err));
    QVERIFY2(err.endsWith(u"4 of 4 completed\n"), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestSendEach)
#include "tst_sendeach.moc"
