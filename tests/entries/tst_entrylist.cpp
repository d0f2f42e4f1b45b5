#include "entries/EntryList.h"

#include <QTest>

namespace {

std::unique_ptr<TServerEntry> Named(const QString& name) {
    auto entry = std::make_unique<TServerEntry>();
    entry->EntryName = name;
    return entry;
}

QStringList Names(const TEntryList& list) {
    QStringList names;
    for (int i = 0; i < list.Count(); ++i) {
        names.append(list.Get(i)->EntryName);
    }
    return names;
}

} // namespace

class TestEntryList : public QObject {
    Q_OBJECT

private slots:
    void appendKeepsOrder();
    void deleteAndReplace();
    void exchangeMovesTheSameObjects();
    void indexesOutsideTheList();
};

void TestEntryList::appendKeepsOrder() {
    TEntryList list;
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.Append(Named("a")), 0);
    QCOMPARE(list.Append(Named("a")), 1);
    QCOMPARE(list.Append(Named("b")), 2);
    QCOMPARE(Names(list), (QStringList{"a", "a", "b"}));
    QVERIFY(list.Get(0) != list.Get(1));
}

void TestEntryList::deleteAndReplace() {
    TEntryList list;
    for (const char* name : {"a", "b", "c", "d"}) {
        list.Append(Named(name));
    }
    list.Delete(1);
    QCOMPARE(Names(list), (QStringList{"a", "c", "d"}));
    list.Delete(2);
    list.Delete(0);
    QCOMPARE(Names(list), QStringList{"c"});
    list.Replace(0, Named("e"));
    QCOMPARE(Names(list), QStringList{"e"});
    list.Delete(0);
    QCOMPARE(list.Count(), 0);
}

void TestEntryList::exchangeMovesTheSameObjects() {
    TEntryList list;
    list.Append(Named("a"));
    list.Append(Named("b"));
    TServerEntry* a = list.Get(0);
    TServerEntry* b = list.Get(1);
    list.Exchange(0, 1);
    QCOMPARE(list.Get(0), b);
    QCOMPARE(list.Get(1), a);
    list.Exchange(1, 1);
    QCOMPARE(list.Get(1), a);
}

void TestEntryList::indexesOutsideTheList() {
    TEntryList list;
    list.Append(Named("only"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Get(1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Get(-1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Delete(1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Replace(-1, Named("x")));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Exchange(0, 1));
    QCOMPARE(Names(list), QStringList{"only"});
}

QTEST_APPLESS_MAIN(TestEntryList)
#include "tst_entrylist.moc"
