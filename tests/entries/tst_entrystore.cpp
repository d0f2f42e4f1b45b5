#include "entries/CodePage.h"
#include "entries/EEntryStoreError.h"
#include "entries/EntryList.h"
#include "entries/EntryStore.h"
#include "support/FileSizeLimit.h"
#include "support/Thrown.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::unique_ptr<TServerEntry> Entry(const QString& name, const QString& address, int port,
                                    const QString& local, const QString& remote) {
    auto entry = std::make_unique<TServerEntry>();
    entry->EntryName = name;
    entry->ServerAddress = address;
    entry->ServerPort = port;
    entry->LocalFile = local;
    entry->RemoteFile = remote;
    return entry;
}

QStringList Fields(const TServerEntry* e) {
    return {e->EntryName, e->ServerAddress, QString::number(e->ServerPort), e->LocalFile,
            e->RemoteFile};
}

QList<QStringList> AllFields(const TEntryList& list) {
    QList<QStringList> all;
    for (int i = 0; i < list.Count(); ++i) {
        all.append(Fields(list.Get(i)));
    }
    return all;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QByteArray TwoEntries = "[entryno0]\r\n"
                              "entryname=router\r\n"
                              "address=192.168.0.1\r\n"
                              "port=69\r\n"
                              "localfile=C:\\images\\router.bin\r\n"
                              "remotefile=router.bin\r\n"
                              "[entryno1]\r\n"
                              "entryname=switch\r\n"
                              "address=tftp-host\r\n"
                              "port=69\r\n"
                              "localfile=C:\\images\\switch.img\r\n"
                              "remotefile=switch.img\r\n";

} // namespace

class TestEntryStore : public QObject {
    Q_OBJECT

private slots:
    void systemNames_data();
    void systemNames();
    void init();
    void twoEntriesByteForByte();
    void ports_data();
    void ports();
    void namesInAnyLetterCase();
    void gapEndsTheList();
    void damagedSectionKeepsTheRest();
    void roundTrips_data();
    void roundTrips();
    void lineBreaksStayInsideTheirValue_data();
    void lineBreaksStayInsideTheirValue();
    void shiftJisStoreLoads();
    void lineEndsAndByteOrderMark();
    void missingStoreAndEmptyList();
    void foreignStoreSurvivesEmptyList_data();
    void foreignStoreSurvivesEmptyList();
    void unreadableStoreRaises();
    void failedSaveKeepsOldStore();
    void optionKeys_data();
    void optionKeys();
    void timingKeys_data();
    void timingKeys();
    void location_data();
    void location();
    void usersStoreStartsFromTheShippedOne();
    void emptiedListKeepsShippedEntriesAway_data();
    void emptiedListKeepsShippedEntriesAway();
    void storeModes_data();
    void storeModes();

private:
    QTemporaryDir dir;
    QString path;
};

void TestEntryStore::init() {
    path = dir.filePath(QStringLiteral("entrys.txt"));
    QFile::remove(path);
}

void TestEntryStore::twoEntriesByteForByte() {
    TEntryList list;
    list.Append(Entry("router", "192.168.0.1", 69, "C:\\images\\router.bin", "router.bin"));
    list.Append(Entry("switch", "tftp-host", 69, "C:\\images\\switch.img", "switch.img"));
    SaveEntries(list, path);
    QCOMPARE(ReadAll(path), TwoEntries);

    TEntryList loaded;
    LoadEntries(loaded, path);
    QCOMPARE(AllFields(loaded), AllFields(list));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"entrys.txt"});
}

void TestEntryStore::ports_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("port");
    QTest::newRow("decimal") << QByteArray("port=6969") << 6969;
    QTest::newRow("0x") << QByteArray("port=0x45") << 69;
    QTest::newRow("0X") << QByteArray("port=0X45") << 69;
    QTest::newRow("dollar") << QByteArray("port=$45") << 69;
    QTest::newRow("negative") << QByteArray("port=-5") << -5;
    QTest::newRow("blanks") << QByteArray("port =  70 ") << 70;
    QTest::newRow("quoted") << QByteArray("port=\"71\"") << 71;
    QTest::newRow("empty") << QByteArray("port=") << 69;
    QTest::newRow("not a number") << QByteArray("port=tftp") << 69;
    QTest::newRow("too large") << QByteArray("port=99999999999") << 69;
    QTest::newRow("missing") << QByteArray("other=1") << 69;
}

void TestEntryStore::ports() {
    QFETCH(QByteArray, line);
    QFETCH(int, port);
    WriteAll(path, "[entryno0]\r\nentryname=x\r\n" + line + "\r\n");
    TEntryList list;
    LoadEntries(list, path);
    QCOMPARE(list.Count(), 1);
    QCOMPARE(list.Get(0)->ServerPort, port);
}

void TestEntryStore::namesInAnyLetterCase() {
    WriteAll(path, "[ENTRYNO0]\r\nEntryName=a\r\nADDRESS=h\r\nPort=70\r\nLocalFile=/l\r\n"
                   "REMOTEFILE=r\r\n[EntryNo1]\r\nentryname=b\r\n");
    TEntryList list;
    LoadEntries(list, path);
    QCOMPARE(AllFields(list),
             (QList<QStringList>{{"a", "h", "70", "/l", "r"}, {"b", "", "69", "", ""}}));
}

void TestEntryStore::gapEndsTheList() {
    WriteAll(path, "[entryno0]\r\nentryname=a\r\n[entryno1]\r\nentryname=b\r\n"
                   "[entryno3]\r\nentryname=d\r\n");
    TEntryList list;
    list.Append(Entry("already", "h", 1, "l", "r"));
    LoadEntries(list, path);
    QCOMPARE(list.Count(), 3);
    QCOMPARE(list.Get(1)->EntryName, QStringLiteral("a"));
    QCOMPARE(list.Get(2)->EntryName, QStringLiteral("b"));
}

void TestEntryStore::damagedSectionKeepsTheRest() {
    WriteAll(path, "[entryno0]\r\nentryname=a\r\naddress=h0\r\nport=1\r\nlocalfile=l0\r\n"
                   "remotefile=r0\r\n"
                   "[entryno1]\r\naddress=h1\r\nport=oops\r\n"
                   "[entryno2]\r\nentryname=c\r\naddress=h2\r\nport=3\r\nlocalfile=l2\r\n"
                   "remotefile=r2\r\n");
    TEntryList list;
    LoadEntries(list, path);
    const QList<QStringList> expected{
        {"a", "h0", "1", "l0", "r0"}, {"", "h1", "69", "", ""}, {"c", "h2", "3", "l2", "r2"}};
    QCOMPARE(AllFields(list), expected);

    SaveEntries(list, path);
    TEntryList again;
    LoadEntries(again, path);
    QCOMPARE(AllFields(again), expected);
}

void TestEntryStore::roundTrips_data() {
    QTest::addColumn<QList<QStringList>>("entries");
    // clang-format off
    QTest::newRow("marker-like values") << QList<QStringList>{
        {"(ToT)", "(ToT)", "-1", "(ToT)", "(ToT)"},
        {"after", "h", "69", "l", "r"}};
    QTest::newRow("awkward values") << QList<QStringList>{
        {" leading", "trailing\t", "0", "\"/quoted path\"", "'a=b'"},
        {";not a comment", "[not a section]", "65535", "", "x=y;z"},
        {"\"", "''", "-2147483648", "名前　", "ファイル.bin"}};
    QTest::newRow("long value") << QList<QStringList>{
        {"long", "h", "69", "/" + QString(5000, u'p'), "r"}};
    // clang-format on
}

void TestEntryStore::roundTrips() {
    QFETCH(QList<QStringList>, entries);
    TEntryList list;
    for (const QStringList& f : entries) {
        list.Append(Entry(f[0], f[1], f[2].toInt(), f[3], f[4]));
    }
    SaveEntries(list, path);
    TEntryList loaded;
    LoadEntries(loaded, path);
    QCOMPARE(AllFields(loaded), entries);
}

void TestEntryStore::lineBreaksStayInsideTheirValue_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reloaded");
    // clang-format off
    QTest::newRow("LF in a name")           << 0 << "a\nb"                               << "a b";
    QTest::newRow("CR LF and a section")    << 0 << "x\r\n[entryno1]\r\nentryname=evil" << "x  [entryno1]  entryname=evil";
    QTest::newRow("lone CR in an address")  << 1 << "h\rport=1"                          << "h port=1";
    QTest::newRow("file name ending in LF") << 3 << "/tmp/fw.bin\n"                      << "/tmp/fw.bin ";
    QTest::newRow("breaks only")            << 4 << "\n\r\n"                             << "   ";
    // clang-format on
}

void TestEntryStore::lineBreaksStayInsideTheirValue() {
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, reloaded);
    QStringList fields{"name", "host", "69", "/l", "r"};
    fields[field] = value;
    TEntryList list;
    list.Append(Entry("first", "h0", 1, "/l0", "r0"));
    list.Append(Entry(fields[0], fields[1], 69, fields[3], fields[4]));
    list.Append(Entry("third", "h2", 3, "/l2", "r2"));
    SaveEntries(list, path);

    const QByteArray text = ReadAll(path);
    QCOMPARE(text.count("\n"), 3 * 6);
    QCOMPARE(text.count("\r"), 3 * 6);
    TEntryList loaded;
    LoadEntries(loaded, path);
    fields[field] = reloaded;
    QCOMPARE(AllFields(loaded),
             (QList<QStringList>{
                 {"first", "h0", "1", "/l0", "r0"}, fields, {"third", "h2", "3", "/l2", "r2"}}));
}

void TestEntryStore::shiftJisStoreLoads() {
    // "ルータ" and a backslash path, as Windows wrote them in code page 932.
    WriteAll(path, QByteArray("[entryno0]\r\nentryname=") + QByteArray::fromHex("838B815B835E") +
                       "\r\naddress=h\r\nport=69\r\nlocalfile=C:\\fw\\" +
                       QByteArray::fromHex("955C") + ".bin\r\nremotefile=r\r\n");
    TEntryList list;
    LoadEntries(list, path);
    QCOMPARE(list.Count(), 1);
    QCOMPARE(list.Get(0)->EntryName, QStringLiteral("ルータ"));
    QCOMPARE(list.Get(0)->LocalFile, QStringLiteral("C:\\fw\\表.bin"));

    SaveEntries(list, path);
    QVERIFY(ReadAll(path).contains("entryname=ルータ\r\n"));
}

void TestEntryStore::lineEndsAndByteOrderMark() {
    WriteAll(path, "\xEF\xBB\xBF[entryno0]\nentryname=名前\naddress=h\n");
    TEntryList list;
    LoadEntries(list, path);
    QCOMPARE(list.Count(), 1);
    QCOMPARE(list.Get(0)->EntryName, QStringLiteral("名前"));
    QCOMPARE(list.Get(0)->ServerAddress, QStringLiteral("h"));

    // An editor's mark in front of a Shift-JIS body: "ルータ".
    WriteAll(path,
             "\xEF\xBB\xBF[entryno0]\r\nentryname=" + QByteArray::fromHex("838B815B835E") + "\r\n");
    TEntryList marked;
    QCOMPARE(LoadEntries(marked, path), TStoreContent::Entries);
    QCOMPARE(marked.Count(), 1);
    QCOMPARE(marked.Get(0)->EntryName, QStringLiteral("ルータ"));
}

void TestEntryStore::missingStoreAndEmptyList() {
    TEntryList list;
    LoadEntries(list, path);
    QCOMPARE(list.Count(), 0);

    WriteAll(path, TwoEntries);
    SaveEntries(list, path);
    QVERIFY(!QFile::exists(path));
    SaveEntries(list, path);
    QVERIFY(!QFile::exists(path));
}

void TestEntryStore::foreignStoreSurvivesEmptyList_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("content");
    QTest::newRow("notes") << QByteArray("router passwords: see the wiki\n")
                           << int(TStoreContent::Foreign);
    QTest::newRow("other sections")
        << QByteArray("[entry0]\r\nentryname=a\r\n") << int(TStoreContent::Foreign);
    QTest::newRow("binary") << QByteArray("\x00\xFF\xFE", 3) << int(TStoreContent::Foreign);
    QTest::newRow("empty file") << QByteArray() << int(TStoreContent::Nothing);
    QTest::newRow("entries") << TwoEntries << int(TStoreContent::Entries);
}

void TestEntryStore::foreignStoreSurvivesEmptyList() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, content);
    WriteAll(path, bytes);
    TEntryList list;
    QCOMPARE(int(LoadEntries(list, path)), content);
    SaveEntries(TEntryList(), path);
    QCOMPARE(QFile::exists(path), content == int(TStoreContent::Foreign));
    if (content == int(TStoreContent::Foreign)) {
        QCOMPARE(ReadAll(path), bytes);
    }
}

void TestEntryStore::unreadableStoreRaises() {
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("entrys.txt")));
    TEntryList list;
    QVERIFY_THROWS_EXCEPTION(EEntryStoreError, LoadEntries(list, path));
    QCOMPARE(ThrownMessage([&] { LoadEntries(list, path); }),
             path + QStringLiteral(" を読み込めません"));
    // What the program cannot read it does not remove either.
    SaveEntries(list, path);
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("entrys.txt")));
}

void TestEntryStore::failedSaveKeepsOldStore() {
    WriteAll(path, TwoEntries);
    TEntryList list;
    for (int i = 0; i < 200; ++i) {
        list.Append(Entry(QStringLiteral("entry %1").arg(i), "h", 69, "/l", "r"));
    }
    QString message;
    WithFileSizeLimit(100, [&] { message = ThrownMessage([&] { SaveEntries(list, path); }); });

    QCOMPARE(message, path + QStringLiteral(" に書き込めません"));
    QCOMPARE(ReadAll(path), TwoEntries);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"entrys.txt"});
}

void TestEntryStore::optionKeys_data() {
    QTest::addColumn<QByteArray>("options"); // as stored after the five keys
    QTest::addColumn<int>("blksize");
    QTest::addColumn<int>("windowsize");
    QTest::addColumn<QByteArray>("saved");
    const QByteArray both("blksize=1468\r\nwindowsize=16\r\n");
    QTest::newRow("both") << both << 1468 << 16 << both;
    QTest::newRow("limits") << QByteArray("blksize=8\r\nwindowsize=65535\r\n") << 8 << 65535
                            << QByteArray("blksize=8\r\nwindowsize=65535\r\n");
    QTest::newRow("window only") << QByteArray("windowsize=4\r\n") << 0 << 4
                                 << QByteArray("windowsize=4\r\n");
    QTest::newRow("out of range: not asked")
        << QByteArray("blksize=7\r\nwindowsize=0\r\n") << 0 << 0 << QByteArray();
    QTest::newRow("too large: not asked")
        << QByteArray("blksize=65465\r\nwindowsize=65536\r\n") << 0 << 0 << QByteArray();
}

void TestEntryStore::optionKeys() {
    QFETCH(QByteArray, options);
    QFETCH(int, blksize);
    QFETCH(int, windowsize);
    QFETCH(QByteArray, saved);
    const QByteArray five = TwoEntries.first(TwoEntries.indexOf("[entryno1]"));
    WriteAll(path, five + options);
    TEntryList list;
    LoadEntries(list, path);
    QCOMPARE(list.Get(0)->BlkSize, blksize);
    QCOMPARE(list.Get(0)->WindowSize, windowsize);
    SaveEntries(list, path);
    QCOMPARE(ReadAll(path), five + saved);
}

void TestEntryStore::timingKeys_data() {
    QTest::addColumn<QByteArray>("options"); // as stored after the five keys
    QTest::addColumn<QList<int>>("values");  // retransmit, retries, timeout, waitfortarget
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<int>("ignored"); // keys reported as left out
    const QByteArray all("blksize=1468\r\nretransmit=20000\r\nretries=12\r\ntimeout=30\r\n"
                         "waitfortarget=120\r\n");
    QTest::newRow("all, after blksize") << all << QList<int>{20000, 12, 30, 120} << all << 0;
    QTest::newRow("any order in, the store's order out")
        << QByteArray("waitfortarget=60\r\nretries=3\r\n") << QList<int>{0, 3, 0, 60}
        << QByteArray("retries=3\r\nwaitfortarget=60\r\n") << 0;
    QTest::newRow("limits")
        << QByteArray("retransmit=600000\r\nretries=1000\r\ntimeout=255\r\nwaitfortarget=86400\r\n")
        << QList<int>{600000, 1000, 255, 86400}
        << QByteArray("retransmit=600000\r\nretries=1000\r\ntimeout=255\r\nwaitfortarget=86400\r\n")
        << 0;
    QTest::newRow("out of range: the program's own")
        << QByteArray("retransmit=0\r\nretries=1001\r\ntimeout=256\r\nwaitfortarget=-5\r\n")
        << QList<int>{0, 0, 0, 0} << QByteArray() << 4;
    QTest::newRow("not a number") << QByteArray("timeout=soon\r\n") << QList<int>{0, 0, 0, 0}
                                  << QByteArray() << 1;
}

void TestEntryStore::timingKeys() {
    QFETCH(QByteArray, options);
    QFETCH(QList<int>, values);
    QFETCH(QByteArray, saved);
    QFETCH(int, ignored);
    const QByteArray five = TwoEntries.first(TwoEntries.indexOf("[entryno1]"));
    WriteAll(path, five + options);
    TEntryList list;
    QStringList told;
    LoadEntries(list, path, &told);
    QCOMPARE(told.size(), ignored);
    if (options.startsWith("timeout=soon")) {
        QVERIFY2(told.constFirst().endsWith(u"\": timeout=soon ignored: it takes 1 to 255"),
                 qPrintable(told.constFirst()));
    }
    const TServerEntry* e = list.Get(0);
    QCOMPARE((QList<int>{e->RetransmitMs, e->Retries, e->TimeoutSeconds, e->WaitForTarget}),
             values);
    SaveEntries(list, path);
    QCOMPARE(ReadAll(path), five + saved);
}

void TestEntryStore::location_data() {
    // Paths starting with @ are in this test's folder; a list named in "lists" is made there.
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("configDirs");
    QTest::addColumn<QStringList>("lists");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("shipped");
    const QString own = QStringLiteral("/zanvel-tftp/entrys.txt");
    const QString admin1 = "@/etc1" + own;
    const QString admin2 = "@/etc2" + own;
    const QString dirs = QStringLiteral("@/etc1:@/etc2");
    QTest::newRow("build folder") << false << true << "@/cfg" << dirs << QStringList{admin1}
                                  << "@/bin/entrys.txt" << QString();
    QTest::newRow("copied by hand, folder not writable")
        << false << false << "@/cfg" << dirs << QStringList{admin1} << "@/cfg" + own
        << "@/bin/entrys.txt";
    QTest::newRow("installed") << true << false << "@/cfg" << dirs << QStringList{} << "@/cfg" + own
                               << QString();
    QTest::newRow("installed, run by root")
        << true << true << "@/cfg" << dirs << QStringList{} << "@/cfg" + own << QString();
    QTest::newRow("installed, no XDG_CONFIG_HOME")
        << true << false << QString() << dirs << QStringList{} << "@/home/.config" + own
        << QString();
    QTest::newRow("installed, relative XDG_CONFIG_HOME")
        << true << false << "cfg" << dirs << QStringList{} << "@/home/.config" + own << QString();
    QTest::newRow("administrator's list")
        << true << false << "@/cfg" << dirs << QStringList{admin2} << "@/cfg" + own << admin2;
    QTest::newRow("first administrator's list")
        << true << true << "@/cfg" << dirs << QStringList{admin1, admin2} << "@/cfg" + own
        << admin1;
    QTest::newRow("relative folder in XDG_CONFIG_DIRS")
        << true << false << "@/cfg"
        << "etc1:@/etc2" << QStringList{admin1, admin2} << "@/cfg" + own << admin2;
}

void TestEntryStore::location() {
    QFETCH(bool, installed);
    QFETCH(bool, writable);
    QFETCH(QString, configHome);
    QFETCH(QString, configDirs);
    QFETCH(QStringList, lists);
    QFETCH(QString, expected);
    QFETCH(QString, shipped);
    QTemporaryDir root;
    const auto at = [&](QString path) {
        return path.replace(QLatin1Char('@'), root.path());
    };
    for (const QString& list : lists) {
        QVERIFY(QDir().mkpath(QFileInfo(at(list)).path()));
        WriteAll(at(list), TwoEntries);
    }
    TStoreEnvironment environment;
    environment.ProgramDir = at("@/bin");
    environment.Installed = installed;
    environment.ProgramDirWritable = writable;
    environment.Home = at("@/home");
    environment.ConfigHome = at(configHome);
    environment.ConfigDirs = at(configDirs);
    const TStoreLocation store = StoreLocation(environment);
    QCOMPARE(store.Path, at(expected));
    QCOMPARE(store.Shipped, at(shipped));
}

void TestEntryStore::usersStoreStartsFromTheShippedOne() {
    WriteAll(path, TwoEntries);
    const TStoreLocation store(dir.filePath("config/zanvel-tftp/entrys.txt"), path);
    QCOMPARE(store.ReadPath(), path);
    TEntryList list;
    LoadEntries(list, store.ReadPath());
    list.Delete(0);
    SaveEntries(list, store);

    QCOMPARE(store.Path, dir.filePath("config/zanvel-tftp/entrys.txt"));
    QCOMPARE(store.ReadPath(), store.Path);
    TEntryList saved;
    LoadEntries(saved, store.ReadPath());
    QCOMPARE(AllFields(saved), AllFields(list));
    QCOMPARE(ReadAll(path), TwoEntries);
    QVERIFY(QDir(dir.filePath("config")).removeRecursively());
}

void TestEntryStore::emptiedListKeepsShippedEntriesAway_data() {
    QTest::addColumn<bool>("shipped");
    QTest::addColumn<QByteArray>("before"); // the user's store; null for none
    QTest::addColumn<QByteArray>("after");  // null for none
    const QByteArray notes("router passwords: see the wiki\n");
    QTest::newRow("shipped, no store of the user's") << true << QByteArray() << QByteArray("");
    QTest::newRow("shipped, user's entries") << true << TwoEntries << QByteArray("");
    QTest::newRow("shipped, user's notes") << true << notes << notes;
    QTest::newRow("nothing shipped, user's entries") << false << TwoEntries << QByteArray();
}

void TestEntryStore::emptiedListKeepsShippedEntriesAway() {
    QFETCH(bool, shipped);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    if (shipped) {
        WriteAll(path, TwoEntries);
    }
    const TStoreLocation store(dir.filePath("config/zanvel-tftp/entrys.txt"), path);
    if (!before.isNull()) {
        QVERIFY(QDir().mkpath(dir.filePath("config/zanvel-tftp")));
        WriteAll(store.Path, before);
    }
    SaveEntries(TEntryList(), store);

    QCOMPARE(QFile::exists(store.Path), !after.isNull());
    QCOMPARE(ReadAll(store.Path), after);
    TEntryList next;
    LoadEntries(next, store.ReadPath());
    QCOMPARE(next.Count(), 0);
    QVERIFY(QDir(dir.filePath("config")).removeRecursively());
}

void TestEntryStore::storeModes_data() {
    QTest::addColumn<int>("before"); // -1: no store yet
    QTest::addColumn<int>("after");
    QTest::newRow("new store") << -1 << 0600;
    QTest::newRow("readable by all") << 0644 << 0644;
    QTest::newRow("shared with a group") << 0640 << 0640;
    QTest::newRow("owner's alone") << 0600 << 0600;
}

void TestEntryStore::storeModes() {
    QFETCH(int, before);
    QFETCH(int, after);
    if (before >= 0) {
        TEntryList old;
        old.Append(Entry("old", "10.0.0.1", 69, "/old.bin", "old.bin"));
        SaveEntries(old, path);
        QVERIFY(chmod(QFile::encodeName(path).constData(), mode_t(before)) == 0);
    }
    // Remote names may carry a password; the user's edit is saved all the same.
    TEntryList list;
    list.Append(Entry("router", "192.0.2.1", 69, "/srv/router.cfg", "config/s3cret"));
    SaveEntries(list, path);
    struct stat saved {};
    QVERIFY(stat(QFile::encodeName(path).constData(), &saved) == 0);
    QCOMPARE(int(saved.st_mode & 07777), after);
    TEntryList loaded;
    LoadEntries(loaded, path);
    QCOMPARE(loaded.Count(), 1);
    QCOMPARE(loaded.Get(0)->RemoteFile, QStringLiteral("config/s3cret"));
}

void TestEntryStore::systemNames_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("foreign"); // holds bytes that are not UTF-8
    QTest::newRow("ASCII") << QByteArray("fw-7.3.bin") << false;
    QTest::newRow("UTF-8") << QByteArray("設定.cfg") << false;
    QTest::newRow("Latin-1") << QByteArray("caf\xe9.bin") << true;
    QTest::newRow("Shift-JIS") << QByteArray("\x90\xdd\x92\xe8.cfg") << true;
    QTest::newRow("cut short") << QByteArray("a\xe8\xa8") << true;
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << true;
    QTest::newRow("an encoded surrogate") << QByteArray("\xed\xa0\x80") << true;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << true;
    QTest::newRow("a character beyond the BMP") << QByteArray("\xf0\x9f\x93\xa6.bin") << false;
}

void TestEntryStore::systemNames() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, foreign);
    const QString name = DecodeSystemName(bytes);
    QCOMPARE(EncodeSystemName(name), bytes);
    QCOMPARE(HoldsForeignBytes(name), foreign);
    if (!foreign) {
        QCOMPARE(name, QString::fromUtf8(bytes));
    }
}

QTEST_GUILESS_MAIN(TestEntryStore)
#include "tst_entrystore.moc"
