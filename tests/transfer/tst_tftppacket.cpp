#include "transfer/TftpPacket.h"

#include <QTest>

class TestTftpPacket : public QObject {
    Q_OBJECT

private slots:
    void writeRequest_data();
    void writeRequest();
    void dataPacket_data();
    void dataPacket();
    void parseReply_data();
    void parseReply();
    void errorCodeTexts();
};

void TestTftpPacket::writeRequest_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("packet");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray::fromHex("0002616263006F6374657400");
    QTest::newRow("empty") << QByteArray() << QByteArray::fromHex("0002006F6374657400");
    QTest::newRow("five bytes") << QByteArray("a.bin")
                                << QByteArray::fromHex("0002612E62696E006F6374657400");
    QTest::newRow("longest") << QByteArray(Tftp::MaxNameLength, 'n')
                             << QByteArray("\0\2", 2) + QByteArray(Tftp::MaxNameLength, 'n') +
                                    QByteArray("\0octet\0", 7);
}

void TestTftpPacket::writeRequest() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, packet);
    Tftp::PacketBuffer buffer;
    buffer.fill('\xEE');
    const int length = Tftp::MakeWriteRequest(buffer, name);
    QCOMPARE(length, name.size() + 9);
    QCOMPARE(QByteArray(buffer.data(), length), packet);
}

void TestTftpPacket::dataPacket_data() {
    QTest::addColumn<int>("block");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("first") << 1 << QByteArray("\x42", 1) << QByteArray::fromHex("00030001");
    QTest::newRow("empty last") << 3 << QByteArray() << QByteArray::fromHex("00030003");
    QTest::newRow("full") << 0x1234 << QByteArray(512, 'x') << QByteArray::fromHex("00031234");
    QTest::newRow("highest") << 0xFFFF << QByteArray("z") << QByteArray::fromHex("0003FFFF");
}

void TestTftpPacket::dataPacket() {
    QFETCH(int, block);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, head);
    Tftp::PacketBuffer buffer;
    const int length = Tftp::MakeDataPacket(buffer, quint16(block), data);
    QCOMPARE(length, data.size() + 4);
    QCOMPARE(QByteArray(buffer.data(), length), head + data);
    QCOMPARE(Tftp::PacketNumber(buffer), quint16(block));
}

void TestTftpPacket::parseReply_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("opcode");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("message");
    // clang-format off
    QTest::newRow("ack")                     << QByteArray::fromHex("00040007")             << true  << 4 << 7      << QByteArray();
    QTest::newRow("ack with trailing bytes") << QByteArray::fromHex("0004FFFE0102")         << true  << 4 << 0xFFFE << QByteArray();
    QTest::newRow("error with text")         << QByteArray::fromHex("000500006E6F00787878") << true  << 5 << 0      << QByteArray("no");
    QTest::newRow("error text unterminated") << QByteArray::fromHex("000500006E6F")         << true  << 5 << 0      << QByteArray("no");
    QTest::newRow("error without text")      << QByteArray::fromHex("00050001")             << true  << 5 << 1      << QByteArray();
    QTest::newRow("unknown opcode")          << QByteArray::fromHex("00090001")             << true  << 9 << 1      << QByteArray();
    QTest::newRow("three bytes")             << QByteArray::fromHex("000400")               << false << 0 << 0      << QByteArray();
    QTest::newRow("empty")                   << QByteArray()                                << false << 0 << 0      << QByteArray();
    // clang-format on
}

void TestTftpPacket::parseReply() {
    QFETCH(QByteArray, datagram);
    QFETCH(bool, valid);
    // Bytes past the datagram's end must never be read: put a trap right behind it.
    QByteArray storage = datagram + QByteArray("\x00\x01\x02", 3);
    const auto reply = Tftp::ParseReply(QByteArrayView(storage.constData(), datagram.size()));
    QCOMPARE(reply.has_value(), valid);
    if (!valid) {
        return;
    }
    QFETCH(int, opcode);
    QFETCH(int, number);
    QFETCH(QByteArray, message);
    QCOMPARE(int(reply->Opcode), opcode);
    QCOMPARE(int(reply->Number), number);
    QCOMPARE(reply->Message, message);
}

void TestTftpPacket::errorCodeTexts() {
    QCOMPARE(Tftp::ErrorCodeText(1), QStringLiteral("File Not Found"));
    QCOMPARE(Tftp::ErrorCodeText(3), QStringLiteral("Disk Full or allocation exceeded"));
    QCOMPARE(Tftp::ErrorCodeText(7), QStringLiteral("No such User"));
    QCOMPARE(Tftp::ErrorCodeText(8), QStringLiteral("???"));
    QCOMPARE(Tftp::ErrorCodeText(0xFFFF), QStringLiteral("???"));
}

QTEST_APPLESS_MAIN(TestTftpPacket)
#include "tst_tftppacket.moc"
