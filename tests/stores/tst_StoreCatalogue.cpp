// The catalogue's addresses and the relay's keyword extraction, as plain text.

#include "stores/Deployment.h"
#include "stores/Relay.h"
#include "stores/StoreCatalogue.h"

#include <QTest>

class TestStoreCatalogue : public QObject {
    Q_OBJECT
private slots:
    void homeAddress_data();
    void homeAddress();
    void searchAddress_data();
    void searchAddress();
    void gomeHasFormIdsAndNoSearchAddress();
    void relayedKeyword_data();
    void relayedKeyword();
};

namespace {
const TStoreCatalogue Deployed;

TStoreCatalogue::THostTable TestHosts()
{
    TStoreCatalogue::THostTable hosts;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        hosts[i] = {"main" + std::to_string(i + 1) + ".test", "search" + std::to_string(i + 1) + ".test"};
    return hosts;
}
} // namespace

void TestStoreCatalogue::homeAddress_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("address");
    // The hosts this build was configured with (-D on the cmake line).
    using namespace deployment;
    const auto http = [](const char* host, const char* path) -> QString {
        return QStringLiteral("http://") + QString::fromUtf8(host) + QString::fromUtf8(path);
    };
    QTest::newRow("1") << 1 << "京东商城" << http(HostJD, "/");
    QTest::newRow("2 ends at the host") << 2 << "新蛋" << http(HostNewegg, "");
    QTest::newRow("3") << 3 << "淘宝" << http(HostTaobao, "/");
    QTest::newRow("4") << 4 << "丽家宝贝" << http(HostLijiababy, "/");
    QTest::newRow("5") << 5 << "红孩子" << http(HostRedbaby, "/");
    QTest::newRow("6") << 6 << "当当网" << http(HostDangdang, "/");
    QTest::newRow("7") << 7 << "卓越网" << http(HostAmazon, "/");
    QTest::newRow("8") << 8 << "国美电器" << http(HostGome, "/");
    QTest::newRow("9 ends in default.htm")
        << 9 << "中国工商银行商城" << http(HostICBC, "/icbc/%e7%bd%91%e4%b8%8a%e5%95%86%e5%9f%8e/default.htm");
}

void TestStoreCatalogue::homeAddress()
{
    QFETCH(int, position);
    QFETCH(QString, caption);
    QFETCH(QString, address);
    const TStoreEntry& store = Deployed[static_cast<std::size_t>(position - 1)];
    QCOMPARE(store.Position, position);
    QCOMPARE(QString::fromStdString(store.Caption), caption);
    QCOMPARE(QString::fromStdString(store.BrowserName), QStringLiteral("WB%1").arg(position));
    QCOMPARE(QString::fromStdString(store.HomeAddress()), address);
}

void TestStoreCatalogue::searchAddress_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("rule");
    QTest::newRow("1 search host, nothing after") << 1 << "abc" << "http://search1.test/Search?keyword=abc" << int(srDirect);
    QTest::newRow("2") << 2 << "abc" << "http://main2.test/Search.aspx?keyword=abc" << int(srDirect);
    QTest::newRow("3 literal empty keyword=")
        << 3 << "abc"
        << "http://search3.test/search?q=abc&keyword=&commend=all&ssid=s5-e&search_type=item&atype=&tracelog=&sourceId=tb.index"
        << int(srDirect);
    QTest::newRow("4 ampersand goes in unchanged")
        << 4 << "a&b=c" << "http://main4.test/eshop/search.aspx?keys=a&b=c" << int(srDirect);
    QTest::newRow("5 empty relayed keyword") << 5 << "" << "http://main5.test/search?keyword=&Site=01&=%CB%D1%CB%F7"
                                             << int(srRelay);
    QTest::newRow("5 escaped keyword kept") << 5 << "%D6%D0%CE%C4" << "http://main5.test/search?keyword=%D6%D0%CE%C4&Site=01&=%CB%D1%CB%F7"
                                            << int(srRelay);
    QTest::newRow("6") << 6 << "abc" << "http://search6.test/search.php?key=abc&SearchFromTop=1&catalog=" << int(srDirect);
    QTest::newRow("7 capital escapes")
        << 7 << "abc"
        << "http://main7.test/s/ref=nb_sb_noss?__mk_zh_CN=%E4%BA%9A%E9%A9%AC%E9%80%8A%E7%BD%91%E7%AB%99&url=search-alias%3Daps&field-keywords=abc&x=29&y=21"
        << int(srDirect);
    QTest::newRow("9 empty relayed keyword, small-letter escapes")
        << 9 << ""
        << "http://main9.test/icbc/%e7%bd%91%e4%b8%8a%e5%95%86%e5%9f%8e/%e5%b8%ae%e5%8a%a9%e4%b8%ad%e5%bf%83/search.htm?keyword=&type=%e5%85%a8%e9%83%a8%e5%88%86%e7%b1%bb"
        << int(srRelay);
    QTest::newRow("no escaping, trimming or limit here")
        << 1 << " 中文 #x\t" << "http://search1.test/Search?keyword= 中文 #x\t" << int(srDirect);
}

void TestStoreCatalogue::searchAddress()
{
    QFETCH(int, position);
    QFETCH(QString, keyword);
    QFETCH(QString, address);
    QFETCH(int, rule);
    const TStoreCatalogue catalogue(TestHosts());
    const TStoreEntry& store = catalogue[static_cast<std::size_t>(position - 1)];
    QCOMPARE(int(store.Rule), rule);
    QCOMPARE(QString::fromStdString(store.SearchAddress(keyword.toStdString())), address);

    const std::string longKeyword(10000, 'x');
    QCOMPARE(store.SearchAddress(longKeyword).size(), store.SearchAddress("").size() + longKeyword.size());
}

void TestStoreCatalogue::gomeHasFormIdsAndNoSearchAddress()
{
    const TStoreEntry& gome = Deployed[7];
    QCOMPARE(int(gome.Rule), int(srPageForm));
    QCOMPARE(gome.FieldId, std::string("keyword"));
    QCOMPARE(gome.ButtonId, std::string("subSearch"));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, gome.SearchAddress("abc"));
    // Only stores 1, 3 and 6 search on a host of their own.
    for (const TStoreEntry& store : Deployed)
        QCOMPARE(!store.SearchHost.empty(), store.Position == 1 || store.Position == 3 || store.Position == 6);
    QCOMPARE(Deployed[0].SearchHost, std::string(deployment::SearchHostJD));
    QCOMPARE(Deployed[2].SearchHost, std::string(deployment::SearchHostTaobao));
    QCOMPARE(Deployed[5].SearchHost, std::string(deployment::SearchHostDangdang));
}

void TestStoreCatalogue::relayedKeyword_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("keyword");
    QTest::newRow("home page: none") << "http://www.gome.com.cn/" << "";
    QTest::newRow("ends in keyword=") << "http://www.gome.com.cn/search?keyword=" << "";
    QTest::newRow("escaped keyword") << "http://www.gome.com.cn/search?keyword=%D6%D0%CE%C4" << "%D6%D0%CE%C4";
    QTest::newRow("later parameters kept") << "http://www.gome.com.cn/search?keyword=abc&page=2" << "abc&page=2";
    QTest::newRow("fragment kept") << "http://g.test/s?keyword=abc#top" << "abc#top";
    QTest::newRow("capital K is not it") << "http://g.test/s?Keyword=abc" << "";
    QTest::newRow("first occurrence, path included") << "http://g.test/keyword=1/s?keyword=2" << "1/s?keyword=2";
    QTest::newRow("suffix of another name") << "http://g.test/s?subkeyword=x" << "x";
    QTest::newRow("empty address") << "" << "";
}

void TestStoreCatalogue::relayedKeyword()
{
    QFETCH(QString, address);
    QFETCH(QString, keyword);
    QCOMPARE(QString::fromStdString(RelayedKeyword(address.toStdString())), keyword);
}

QTEST_GUILESS_MAIN(TestStoreCatalogue)
#include "tst_StoreCatalogue.moc"
