#include "entries/IniFile.h"

#include <QTest>

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    void reading_data();
    void reading();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void writesInOrderWithCrLf();
};

void TestIniFile::reading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value"); // invalid for a missing key
    const QString basic = QStringLiteral("[Main]\r\nName = router \r\nEmpty=\r\n");
    // clang-format off
    QTest::newRow("blanks around value")    << basic                     << "main" << "name"  << QVariant("router");
    QTest::newRow("empty value")            << basic                     << "MAIN" << "EMPTY" << QVariant("");
    QTest::newRow("missing key")            << basic                     << "Main" << "Other" << QVariant();
    QTest::newRow("missing section")        << basic                     << "Side" << "Name"  << QVariant();
    QTest::newRow("LF line ends")           << "[a]\nk=v\n"              << "a"    << "k"     << QVariant("v");
    QTest::newRow("no final line end")      << "[a]\nk=v"                << "a"    << "k"     << QVariant("v");
    QTest::newRow("double quotes")          << "[a]\nk= \" v \" "        << "a"    << "k"     << QVariant(" v ");
    QTest::newRow("single quotes")          << "[a]\nk='v'"              << "a"    << "k"     << QVariant("v");
    QTest::newRow("two quotes alone")       << "[a]\nk=\"\""             << "a"    << "k"     << QVariant("");
    QTest::newRow("unmatched quotes")       << "[a]\nk='v\""             << "a"    << "k"     << QVariant("'v\"");
    QTest::newRow("only one pair removed")  << "[a]\nk=\"\"v\"\""        << "a"    << "k"     << QVariant("\"v\"");
    QTest::newRow("equals in value")        << "[a]\nk=x=y"              << "a"    << "k"     << QVariant("x=y");
    QTest::newRow("first key wins")         << "[a]\nk=1\nK=2"           << "a"    << "k"     << QVariant("1");
    QTest::newRow("first section wins")     << "[a]\nk=1\n[A]\nk=2\nj=3" << "a"    << "j"     << QVariant();
    QTest::newRow("keys before sections")   << "k=0\n[a]\nj=1"           << "a"    << "k"     << QVariant();
    QTest::newRow("ideographic space kept") << "[a]\nk=名前　"              << "a"    << "k"     << QVariant("名前　");
    QTest::newRow("lines without equals")   << "[a]\njunk\n\nk=v"        << "a"    << "k"     << QVariant("v");
    // clang-format on
}

void TestIniFile::reading() {
    QFETCH(QString, text);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    const std::optional<QString> found = TIniFile::Parse(text).Value(section, key);
    QCOMPARE(found.has_value(), value.isValid());
    if (found) {
        QCOMPARE(*found, value.toString());
    }
}

void TestIniFile::valuesRoundTrip_data() {
    QTest::addColumn<QString>("value");
    for (const char* v : {"", " lead", "trail ", "\tboth\t", "\"quoted\"", "'single'", "\"", "\"\"",
                          "'mixed\"", "a=b", ";semi", "[bracket]", "  ", "日本語　"}) {
        QTest::newRow(v) << QString::fromUtf8(v);
    }
}

void TestIniFile::valuesRoundTrip() {
    QFETCH(QString, value);
    TIniFile ini;
    ini.SetValue(QStringLiteral("s"), QStringLiteral("k"), value);
    QCOMPARE(TIniFile::Parse(ini.Text()).Value(QStringLiteral("S"), QStringLiteral("K")), value);
}

void TestIniFile::writesInOrderWithCrLf() {
    TIniFile ini;
    ini.SetValue(QStringLiteral("b"), QStringLiteral("z"), QStringLiteral("1"));
    ini.SetValue(QStringLiteral("a"), QStringLiteral("y"), QStringLiteral("2"));
    ini.SetValue(QStringLiteral("B"), QStringLiteral("x"), QStringLiteral("3"));
    ini.SetValue(QStringLiteral("b"), QStringLiteral("Z"), QStringLiteral("4"));
    QCOMPARE(ini.Text(), QStringLiteral("[b]\r\nz=4\r\nx=3\r\n[a]\r\ny=2\r\n"));
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
