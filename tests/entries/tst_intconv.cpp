#include "entries/IntConv.h"

#include <QTest>

class TestIntConv : public QObject {
    Q_OBJECT

private slots:
    void convert_data();
    void convert();
};

void TestIntConv::convert_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "69" << true << 69;
    QTest::newRow("leading blanks") << "  \t69" << true << 69;
    QTest::newRow("plus") << "+69" << true << 69;
    QTest::newRow("minus") << "-1" << true << -1;
    QTest::newRow("dollar hex") << "$45" << true << 69;
    QTest::newRow("x hex") << "x45" << true << 69;
    QTest::newRow("X hex") << "X4a" << true << 74;
    QTest::newRow("0x hex") << "0x45" << true << 69;
    QTest::newRow("0X hex") << "0XfF" << true << 255;
    QTest::newRow("negative hex") << "-$10" << true << -16;
    QTest::newRow("leading zeros") << "0069" << true << 69;
    QTest::newRow("max") << "2147483647" << true << 2147483647;
    QTest::newRow("min") << "-2147483648" << true << int(-2147483648LL);
    QTest::newRow("hex max") << "$7FFFFFFF" << true << 2147483647;
    QTest::newRow("above max") << "2147483648" << false << 0;
    QTest::newRow("below min") << "-2147483649" << false << 0;
    QTest::newRow("hex above max") << "$80000000" << false << 0;
    QTest::newRow("huge") << "99999999999999999999999" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blanks only") << "   " << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("prefix only") << "$" << false << 0;
    QTest::newRow("0x only") << "0x" << false << 0;
    QTest::newRow("trailing blank") << "69 " << false << 0;
    QTest::newRow("trailing text") << "69a" << false << 0;
    QTest::newRow("hex digit in decimal") << "6F" << false << 0;
    QTest::newRow("sign after prefix") << "$-5" << false << 0;
    QTest::newRow("two signs") << "--5" << false << 0;
    QTest::newRow("fullwidth digits") << "６９" << false << 0;
}

void TestIntConv::convert() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::optional<qint32> result = TryStrToInt(text);
    QCOMPARE(result.has_value(), valid);
    if (valid) {
        QCOMPARE(*result, value);
    }
}

QTEST_APPLESS_MAIN(TestIntConv)
#include "tst_intconv.moc"
