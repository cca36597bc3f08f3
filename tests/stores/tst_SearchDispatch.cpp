// The store steps of a search and the relay, driven through fake browsers so
// that guards and order show without a web engine.

#include "stores/Relay.h"
#include "stores/SearchDispatch.h"
#include "stores/FakeBrowser.h"

#include <QTest>

namespace {

TStoreCatalogue::THostTable TestHosts()
{
    TStoreCatalogue::THostTable hosts;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        hosts[i] = {"s" + std::to_string(i + 1) + ".test", "q" + std::to_string(i + 1) + ".test"};
    return hosts;
}

struct TStores {
    TStoreCatalogue Catalogue{TestHosts()};
    std::array<TFakeBrowser, TStoreCatalogue::Count> Browser;

    std::vector<std::string> Journal;

    TStores()
    {
        Gome().Elements = {{"keyword", {}}, {"subSearch", {}}};
        for (std::size_t i = 0; i < Browser.size(); ++i) {
            Browser[i].Name = "WB" + std::to_string(i + 1);
            Browser[i].Journal = &Journal;
        }
    }
    TFakeBrowser& Gome() { return Browser[7]; }
    TStoreBrowsers Pointers()
    {
        TStoreBrowsers p{};
        for (std::size_t i = 0; i < p.size(); ++i)
            p[i] = &Browser[i];
        return p;
    }
    std::vector<int> Navigated() const
    {
        std::vector<int> positions;
        for (std::size_t i = 0; i < Browser.size(); ++i)
            if (!Browser[i].Navigations.empty())
                positions.push_back(int(i + 1));
        return positions;
    }
};

} // namespace

class TestSearchDispatch : public QObject {
    Q_OBJECT
private slots:
    void trimKeyword_data();
    void trimKeyword();
    void searchVisitsDirectStoresAndSubmitsGome();
    void failingStoreDoesNotStopTheOthers_data();
    void failingStoreDoesNotStopTheOthers();
    void relayNavigatesBothStoresWithTheGomeKeyword();
    void relayDoesNothingUntilComplete();
    void relayStopsAtTheFirstFailure();
};

void TestSearchDispatch::trimKeyword_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("trimmed");
    QTest::newRow("blanks only") << QByteArray("   ") << QByteArray();
    QTest::newRow("controls only") << QByteArray("\t\r\n\x01\x1f", 5) << QByteArray();
    QTest::newRow("NUL counts as blank") << QByteArray(" \0abc\0 ", 7) << QByteArray("abc");
    QTest::newRow("ends trimmed, inside kept") << QByteArray("  a b\tc  ") << QByteArray("a b\tc");
    QTest::newRow("Chinese kept whole") << QByteArray(" 手机 ") << QByteArray("手机");
    QTest::newRow("ideographic space is not ASCII blank") << QByteArray("\xe3\x80\x80x") << QByteArray("\xe3\x80\x80x");
}

void TestSearchDispatch::trimKeyword()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, trimmed);
    QCOMPARE(QByteArray::fromStdString(TrimKeyword(text.toStdString())), trimmed);
}

void TestSearchDispatch::searchVisitsDirectStoresAndSubmitsGome()
{
    TStores stores;
    RunStoreSteps(stores.Catalogue, stores.Pointers(), "a&b #c");
    // Catalogue order, the Gome form last; the relay stores are not touched.
    QCOMPARE(stores.Journal, (std::vector<std::string>{"WB1 navigate", "WB2 navigate", "WB3 navigate", "WB4 navigate",
                                                       "WB6 navigate", "WB7 navigate", "WB8 set keyword",
                                                       "WB8 click subSearch"}));
    for (int position : stores.Navigated()) {
        const auto& b = stores.Browser[std::size_t(position - 1)];
        QCOMPARE(b.Navigations.size(), std::size_t(1));
        QCOMPARE(b.Navigations[0], stores.Catalogue[std::size_t(position - 1)].SearchAddress("a&b #c"));
    }
    QCOMPARE(stores.Gome().Elements["keyword"].Value, std::string("a&b #c"));
    QCOMPARE(stores.Gome().Elements["subSearch"].Clicks, 1);
    QVERIFY(stores.Gome().Navigations.empty());
    // Every page-script wait of the Gome step shares one short limit, which
    // ends with the step.
    QCOMPARE(stores.Gome().UnboundedScriptCalls, 0);
    QVERIFY(stores.Gome().LongestLimit > std::chrono::steady_clock::duration::zero());
    QVERIFY(stores.Gome().LongestLimit <= PageFormTimeLimit);
    QVERIFY(!stores.Gome().Deadline);
}

void TestSearchDispatch::failingStoreDoesNotStopTheOthers_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("fieldFilled");
    QTest::addColumn<int>("clicks");
    QTest::newRow("refused navigations") << "refuse" << true << 1;
    QTest::newRow("Gome without document") << "nodocument" << false << 0;
    QTest::newRow("Gome without keyword field") << "nofield" << false << 0;
    QTest::newRow("Gome without subSearch: filled, not submitted") << "nobutton" << true << 0;
}

void TestSearchDispatch::failingStoreDoesNotStopTheOthers()
{
    QFETCH(QString, failure);
    QFETCH(bool, fieldFilled);
    QFETCH(int, clicks);
    TStores stores;
    if (failure == "refuse") {
        stores.Browser[0].RefuseNavigation = true;
        stores.Browser[3].RefuseNavigation = true;
    } else if (failure == "nodocument") {
        stores.Gome().Document = false;
    } else if (failure == "nofield") {
        stores.Gome().Elements.erase("keyword");
    } else {
        stores.Gome().Elements.erase("subSearch");
    }
    RunStoreSteps(stores.Catalogue, stores.Pointers(), "abc");
    const std::vector<int> expected = failure == "refuse" ? std::vector<int>{2, 3, 6, 7} : std::vector<int>{1, 2, 3, 4, 6, 7};
    QCOMPARE(stores.Navigated(), expected);
    if (stores.Gome().Elements.count("keyword"))
        QCOMPARE(stores.Gome().Elements["keyword"].Value == "abc", fieldFilled);
    if (stores.Gome().Elements.count("subSearch"))
        QCOMPARE(stores.Gome().Elements["subSearch"].Clicks, clicks);
    QVERIFY(!stores.Gome().Deadline);  // a failed step lifts its limit too
}

void TestSearchDispatch::relayNavigatesBothStoresWithTheGomeKeyword()
{
    TStores stores;
    stores.Gome().URL = "http://s8.test/search?keyword=%D6%D0%CE%C4&page=2";
    RelaySearch(stores.Catalogue, stores.Pointers());
    QCOMPARE(stores.Navigated(), (std::vector<int>{5, 9}));
    QCOMPARE(stores.Browser[4].Navigations[0], std::string("http://s5.test/search?keyword=%D6%D0%CE%C4&page=2&Site=01&=%CB%D1%CB%F7"));
    QCOMPARE(stores.Browser[8].Navigations[0],
             std::string("http://s9.test/icbc/%e7%bd%91%e4%b8%8a%e5%95%86%e5%9f%8e/%e5%b8%ae%e5%8a%a9%e4%b8%ad%e5%bf%83/"
                         "search.htm?keyword=%D6%D0%CE%C4&page=2&type=%e5%85%a8%e9%83%a8%e5%88%86%e7%b1%bb"));

    // The home page carries no keyword: both still go, with an empty one.
    stores.Gome().URL = "http://s8.test/";
    RelaySearch(stores.Catalogue, stores.Pointers());
    QCOMPARE(stores.Browser[4].Navigations.back(), std::string("http://s5.test/search?keyword=&Site=01&=%CB%D1%CB%F7"));
    QCOMPARE(stores.Browser[8].Navigations.size(), std::size_t(2));
}

void TestSearchDispatch::relayDoesNothingUntilComplete()
{
    for (int state : {int(TBrowserOperations::ReadyStateUninitialized), int(TBrowserOperations::ReadyStateLoading), 3}) {
        TStores stores;
        stores.Gome().State = state;
        stores.Gome().Document = false;  // not even looked at
        RelaySearch(stores.Catalogue, stores.Pointers());
        QVERIFY(stores.Navigated().empty());
    }
}

void TestSearchDispatch::relayStopsAtTheFirstFailure()
{
    TStores noDocument;
    noDocument.Gome().Document = false;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, RelaySearch(noDocument.Catalogue, noDocument.Pointers()));
    QVERIFY(noDocument.Navigated().empty());

    TStores refused;
    refused.Gome().URL = "http://s8.test/s?keyword=x";
    refused.Browser[4].RefuseNavigation = true;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, RelaySearch(refused.Catalogue, refused.Pointers()));
    QVERIFY(refused.Browser[8].Navigations.empty());
}

QTEST_GUILESS_MAIN(TestSearchDispatch)
#include "tst_SearchDispatch.moc"
