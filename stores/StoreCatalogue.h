#pragma once
// The nine stores Shopscope shows, in tab order, and their addresses.

#include <array>
#include <cstddef>
#include <string>

enum TSearchRule {
    srDirect,    // navigated to its search address built from the typed keyword
    srPageForm,  // the page it shows has its search form filled and submitted
    srRelay,     // navigated with the keyword that the Gome tab's result address carries
};

struct TStoreHosts {
    std::string Main;
    std::string Search;  // only stores 1, 3 and 6 have a separate search host
};

struct TStoreEntry {
    int Position = 0;             // 1 to 9, the tab's place from the left
    std::string Caption;
    std::string BrowserName;      // WB1 .. WB9
    std::string MainHost;
    std::string SearchHost;       // empty unless the search goes to a host of its own
    std::string HomePath;
    TSearchRule Rule = srDirect;
    std::string SearchPrefix;     // path and query before the keyword
    std::string SearchSuffix;     // literal text after the keyword
    std::string FieldId;          // srPageForm only
    std::string ButtonId;         // srPageForm only

    std::string HomeAddress() const;
    // Prefix, keyword and suffix joined as they are: the keyword is not
    // escaped, trimmed or limited here. Throws std::logic_error for srPageForm.
    std::string SearchAddress(const std::string& keyword) const;
};

class TStoreCatalogue {
public:
    static constexpr std::size_t Count = 9;
    using THostTable = std::array<TStoreHosts, Count>;

    explicit TStoreCatalogue(const THostTable& hosts = DeployedHosts());

    // The hosts this build was configured for.
    static THostTable DeployedHosts();

    const TStoreEntry& operator[](std::size_t index) const { return FEntries.at(index); }
    const std::array<TStoreEntry, Count>& Entries() const { return FEntries; }
    auto begin() const { return FEntries.begin(); }
    auto end() const { return FEntries.end(); }

private:
    std::array<TStoreEntry, Count> FEntries;
};
