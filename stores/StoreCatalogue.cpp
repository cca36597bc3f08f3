#include "stores/StoreCatalogue.h"

#include "stores/Deployment.h"

#include <stdexcept>

std::string TStoreEntry::HomeAddress() const
{
    return "http://" + MainHost + HomePath;
}

std::string TStoreEntry::SearchAddress(const std::string& keyword) const
{
    if (Rule == srPageForm)
        throw std::logic_error("Store " + Caption + " is searched through its page's form");
    const std::string& host = SearchHost.empty() ? MainHost : SearchHost;
    return "http://" + host + SearchPrefix + keyword + SearchSuffix;
}

TStoreCatalogue::THostTable TStoreCatalogue::DeployedHosts()
{
    using namespace deployment;
    return {{
        {HostJD, SearchHostJD},
        {HostNewegg, ""},
        {HostTaobao, SearchHostTaobao},
        {HostLijiababy, ""},
        {HostRedbaby, ""},
        {HostDangdang, SearchHostDangdang},
        {HostAmazon, ""},
        {HostGome, ""},
        {HostICBC, ""},
    }};
}

namespace {
// The ICBC mall lives under 网上商城 (UTF-8, escaped in small letters as the
// site writes it).
constexpr const char* IcbcMall = "/icbc/%e7%bd%91%e4%b8%8a%e5%95%86%e5%9f%8e";
} // namespace

TStoreCatalogue::TStoreCatalogue(const THostTable& hosts)
{
    // The search host column: stores 1, 3 and 6 search on a host of their own.
    auto entry = [&](int position, const char* caption, const char* homePath, TSearchRule rule, bool searchHost,
                     std::string prefix, std::string suffix) {
        const TStoreHosts& h = hosts[static_cast<std::size_t>(position - 1)];
        TStoreEntry e;
        e.Position = position;
        e.Caption = caption;
        e.BrowserName = "WB" + std::to_string(position);
        e.MainHost = h.Main;
        e.SearchHost = searchHost ? h.Search : std::string();
        e.HomePath = homePath;
        e.Rule = rule;
        e.SearchPrefix = std::move(prefix);
        e.SearchSuffix = std::move(suffix);
        return e;
    };

    FEntries = {{
        entry(1, "京东商城", "/", srDirect, true, "/Search?keyword=", ""),
        entry(2, "新蛋", "", srDirect, false, "/Search.aspx?keyword=", ""),
        entry(3, "淘宝", "/", srDirect, true, "/search?q=",
              "&keyword=&commend=all&ssid=s5-e&search_type=item&atype=&tracelog=&sourceId=tb.index"),
        entry(4, "丽家宝贝", "/", srDirect, false, "/eshop/search.aspx?keys=", ""),
        // "&=%CB%D1%CB%F7" is 搜索 in GBK, the value of a parameter without a name.
        entry(5, "红孩子", "/", srRelay, false, "/search?keyword=", "&Site=01&=%CB%D1%CB%F7"),
        entry(6, "当当网", "/", srDirect, true, "/search.php?key=", "&SearchFromTop=1&catalog="),
        // __mk_zh_CN is 亚马逊网站 in UTF-8; %3D is the "=" of search-alias=aps.
        entry(7, "卓越网", "/", srDirect, false,
              "/s/ref=nb_sb_noss?__mk_zh_CN=%E4%BA%9A%E9%A9%AC%E9%80%8A%E7%BD%91%E7%AB%99&url=search-alias%3Daps&field-keywords=",
              "&x=29&y=21"),
        entry(8, "国美电器", "/", srPageForm, false, "", ""),
        // 帮助中心 and 全部分类 in UTF-8.
        entry(9, "中国工商银行商城", "", srRelay, false,
              std::string(IcbcMall) + "/%e5%b8%ae%e5%8a%a9%e4%b8%ad%e5%bf%83/search.htm?keyword=",
              "&type=%e5%85%a8%e9%83%a8%e5%88%86%e7%b1%bb"),
    }};
    FEntries[7].FieldId = "keyword";
    FEntries[7].ButtonId = "subSearch";
    FEntries[8].HomePath = std::string(IcbcMall) + "/default.htm";
}
