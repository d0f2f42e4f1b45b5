#include "entries/EntryList.h"
#include "send/SendCommand.h"
#include "send/SendConsole.h"
#include "support/Thrown.h"

#include <QTest>

class TestSendCommand : public QObject {
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
    void entryNames_data();
    void entryNames();
    void numberOptions();
    void fittedToColumns_data();
    void fittedToColumns();
    void hostAndPort_data();
    void hostAndPort();
    void lines();
};

void TestSendCommand::arguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("operands");
    // clang-format off
    QTest::newRow("name")              << QStringList{"core"}                           << ""                               << QStringList{"core"};
    QTest::newRow("options anywhere")  << QStringList{"core", "--quiet", "a.bin"}       << ""                               << QStringList{"core", "a.bin"};
    QTest::newRow("after --")          << QStringList{"--", "--list"}                   << ""                               << QStringList{"--list"};
    QTest::newRow("store, two forms")  << QStringList{"--store", "s", "--store=t", "x"} << ""                               << QStringList{"x"};
    QTest::newRow("list")              << QStringList{"--list"}                         << ""                               << QStringList{};
    QTest::newRow("help alone")        << QStringList{"--help"}                         << ""                               << QStringList{};
    QTest::newRow("nothing")           << QStringList{}                                 << "no entry or host given"         << QStringList{};
    QTest::newRow("list and a name")   << QStringList{"--list", "core"}                 << "--list takes no operands"       << QStringList{};
    QTest::newRow("unknown option")    << QStringList{"--fast", "core"}                 << "unknown option --fast"          << QStringList{};
    QTest::newRow("store without file")<< QStringList{"core", "--store"}                << "--store needs a file"           << QStringList{};
    QTest::newRow("retransmit 0")      << QStringList{"core", "--retransmit", "0"}      << "--retransmit needs milliseconds, 1 to 600000" << QStringList{};
    QTest::newRow("retransmit text")   << QStringList{"core", "--retransmit=soon"}      << "--retransmit needs milliseconds, 1 to 600000" << QStringList{};
    QTest::newRow("blksize 7")         << QStringList{"core", "--blksize", "7"}         << "--blksize needs bytes, 8 to 65464" << QStringList{};
    QTest::newRow("blksize 65465")     << QStringList{"core", "--blksize=65465"}        << "--blksize needs bytes, 8 to 65464" << QStringList{};
    QTest::newRow("windowsize 0")      << QStringList{"core", "--windowsize=0"}         << "--windowsize needs blocks, 1 to 65535" << QStringList{};
    QTest::newRow("jobs without each") << QStringList{"core", "--jobs", "4"}            << "--jobs goes with --each"        << QStringList{};
    QTest::newRow("json with list")    << QStringList{"--list", "--json"}               << "--json and --list do not go together" << QStringList{};
    QTest::newRow("each and stdin")    << QStringList{"--each", "sw-*", "-"}            << "--each cannot send standard input (-)" << QStringList{};
    QTest::newRow("each with jobs")    << QStringList{"--each", "sw-*", "--jobs=4"}     << ""                               << QStringList{};
    // clang-format on
}

void TestSendCommand::arguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(QStringList, operands);
    TSendArguments parsed;
    QCOMPARE(ThrownMessage([&] { parsed = ParseSendArguments(arguments); }), error);
    if (error.isEmpty()) {
        QCOMPARE(parsed.Operands, operands);
    }
}

void TestSendCommand::numberOptions() {
    const TSendArguments parsed = ParseSendArguments(
        {"--blksize", "8", "core", "--windowsize=65535", "--retransmit", "250", "a.bin"});
    QCOMPARE(parsed.BlkSize, 8);
    QCOMPARE(parsed.WindowSize, 65535);
    QCOMPARE(parsed.RetransmitMs, 250);
    QCOMPARE(parsed.Operands, (QStringList{"core", "a.bin"}));
}

void TestSendCommand::entryNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found");
    QTest::addColumn<QStringList>("candidates");
    // clang-format off
    QTest::newRow("exact beats prefixes")   << "core"      << "core"        << QStringList{};
    QTest::newRow("one prefix, any case")   << "EDGE"      << "edge switch" << QStringList{};
    QTest::newRow("several prefixes")       << "co"        << ""            << QStringList{"core", "Core router"};
    QTest::newRow("case alone is a prefix") << "CORE"      << ""            << QStringList{"core", "Core router"};
    QTest::newRow("none")                   << "firewall"  << ""            << QStringList{};
    // clang-format on
}

void TestSendCommand::entryNames() {
    QFETCH(QString, name);
    QFETCH(QString, found);
    QFETCH(QStringList, candidates);
    TEntryList list;
    for (const char* n : {"core", "Core router", "edge switch"}) {
        auto entry = std::make_unique<TServerEntry>();
        entry->EntryName = QString::fromUtf8(n);
        list.Append(std::move(entry));
    }
    const TEntryMatch match = FindEntry(list, name);
    QCOMPARE(match.Entry ? match.Entry->EntryName : QString(), found);
    QCOMPARE(match.Candidates, candidates);
}

void TestSendCommand::hostAndPort_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host"); // empty: malformed
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("withPort");
    // clang-format off
    QTest::newRow("name")               << "tftp.example"        << "tftp.example" << 69    << false;
    QTest::newRow("name and port")      << "tftp.example:6969"   << "tftp.example" << 6969  << true;
    QTest::newRow("IPv4 and port")      << "10.0.0.1:0"          << "10.0.0.1"     << 0     << true;
    QTest::newRow("bare IPv6")          << "2001:db8::5"         << "2001:db8::5"  << 69    << false;
    QTest::newRow("bracketed IPv6")     << "[2001:db8::5]"       << "2001:db8::5"  << 69    << true;
    QTest::newRow("IPv6 and port")      << "[::1]:65535"         << "::1"          << 65535 << true;
    QTest::newRow("scoped link-local")  << "[fe80::1%eth0]:69"   << "fe80::1%eth0" << 69    << true;
    QTest::newRow("port too large")     << "h:65536"             << ""             << 0     << true;
    QTest::newRow("port with sign")     << "h:+69"               << ""             << 0     << true;
    QTest::newRow("empty port")         << "h:"                  << ""             << 0     << true;
    QTest::newRow("no host")            << ":69"                 << ""             << 0     << true;
    QTest::newRow("unclosed bracket")   << "[::1:69"             << ""             << 0     << true;
    QTest::newRow("text after bracket") << "[::1]69"             << ""             << 0     << true;
    // clang-format on
}

void TestSendCommand::hostAndPort() {
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, withPort);
    const std::optional<THostPort> parsed = ParseHostPort(text);
    QCOMPARE(parsed.has_value(), !host.isEmpty());
    if (parsed) {
        QCOMPARE(parsed->Host, host);
        QCOMPARE(parsed->Port, port);
    }
    QCOMPARE(LooksLikeHostWithPort(text), withPort);
}

void TestSendCommand::lines() {
    QCOMPARE(FormatBytes(1023), QStringLiteral("1023 B"));
    QCOMPARE(FormatBytes(1536), QStringLiteral("1.5 KiB"));
    QCOMPARE(FormatBytes(8 << 20), QStringLiteral("8.0 MiB"));
    QCOMPARE(ProgressLine(0, 1000, 0), QStringLiteral("  0% 0 B of 1000 B"));
    QCOMPARE(ProgressLine(2 << 20, 8 << 20, 2.0),
             QStringLiteral(" 25% 2.0 MiB of 8.0 MiB, 1.0 MiB/s, 0:06 left"));
    QCOMPARE(ResultLine(trCompleted, 8 << 20, 1.24), QStringLiteral("completed: 8.0 MiB in 1.2 s"));
    QCOMPARE(ResultLine(trTimeout, 0, 25), QStringLiteral("timed out: no answer from the server"));
    // A server that took the request and part of the file, then fell silent, is not one that
    // never answered.
    TUploadReport stopped;
    stopped.Result = trTimeout;
    stopped.Answered = true;
    stopped.Bytes = 1258291;
    stopped.Total = 1468006;
    QVERIFY(stopped.Line().startsWith(
        "timed out after 1.2 MiB of 1.4 MiB acknowledged: the server stopped answering (to host"));
    stopped.Answered = false;
    QVERIFY(stopped.Line().startsWith("timed out: no answer from the server (to host"));

    // The answer came from another of the server's addresses than the one asked.
    TUploadReport answered;
    answered.Result = trCompleted;
    answered.Server = QStringLiteral("127.0.0.2");
    answered.Address = QStringLiteral("127.0.0.1");
    QVERIFY2(answered.Line().endsWith(
                 "(to host 127.0.0.2 port 69, remote file \"\", answered from 127.0.0.1)"),
             qPrintable(answered.Line()));
    answered.Address = answered.Server;
    QVERIFY(!answered.Line().contains(u"answered from"));

    // On a terminal 20 columns wide a line keeps 19, so that it never wraps; a redraw comes at
    // once when asked for, otherwise not twice within a tenth of a second.
    TTerminalLines terminal(true, 20);
    QCOMPARE(terminal.Fitted(QString(30, u'x')), QString(19, u'x'));
    QCOMPARE(terminal.Fitted(QStringLiteral("short")), QStringLiteral("short"));
    QVERIFY(terminal.Due(false));
    QVERIFY(!terminal.Due(false));
    QVERIFY(terminal.Due(true));
    TTerminalLines pipe(false, 20);
    QVERIFY(!pipe.Due(true));
    QCOMPARE(pipe.Fitted(QString(30, u'x')), QString(30, u'x'));
    // Two rows stay free, so that no redrawn line scrolls off.
    QCOMPARE(TTerminalLines(true, 80, 24).MostLines(), 22);
    QVERIFY(TTerminalLines(true, 80, 0).MostLines() > 1000);
}

void TestSendCommand::fittedToColumns_data() {
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("figures");
    QTest::addColumn<QString>("shown");
    const QString figures = QStringLiteral(" 42% 1.0 MiB/s");
    QTest::newRow("fits") << 40 << "edge: " << figures << "edge:  42% 1.0 MiB/s";
    // Each of these characters takes two columns: 12 of them and the figures are 38.
    QTest::newRow("wide characters, fitting")
        << 40 << QString::fromUtf8("東京本社コアスイッチ一号") << figures
        << QString::fromUtf8("東京本社コアスイッチ一号") + figures;
    QTest::newRow("wide characters, the name cut")
        << 30 << QString::fromUtf8("東京本社コアスイッチ一号") << figures
        << QString::fromUtf8("東京本社コアス") + figures;
    // A wide character that would straddle the last column goes altogether.
    QTest::newRow("no half of a wide character")
        << 29 << QString::fromUtf8("東京本社コアスイッチ") << figures
        << QString::fromUtf8("東京本社コアス") + figures;
    QTest::newRow("combining marks take no column")
        << 14 << QString::fromUtf8("cafe\u0301 lab: ") << QStringLiteral(" 9%")
        << QString::fromUtf8("cafe\u0301 lab:  9%");
    QTest::newRow("figures alone too wide") << 8 << "edge: " << figures << " 42% 1.";
}

void TestSendCommand::fittedToColumns() {
    QFETCH(int, columns);
    QFETCH(QString, label);
    QFETCH(QString, figures);
    QFETCH(QString, shown);
    const QString fitted = TTerminalLines(true, columns).Fitted(label, figures);
    QCOMPARE(fitted, shown);
    QVERIFY(DisplayColumns(fitted) < columns);
}

QTEST_APPLESS_MAIN(TestSendCommand)
#include "tst_sendcommand.moc"
