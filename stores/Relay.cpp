#include "stores/Relay.h"

#include <stdexcept>

std::string RelayedKeyword(const std::string& address)
{
    static constexpr std::string_view marker = "keyword=";
    const std::size_t at = address.find(marker);
    return at == std::string::npos ? std::string() : address.substr(at + marker.size());
}

void RelaySearch(const TStoreCatalogue& catalogue, const TStoreBrowsers& browsers)
{
    TBrowserOperations* source = nullptr;
    for (std::size_t i = 0; i < TStoreCatalogue::Count; ++i)
        if (catalogue[i].Rule == srPageForm)
            source = browsers[i];
    if (!source || source->ReadyState() != TBrowserOperations::ReadyStateComplete)
        return;
    if (!source->HasDocument())
        throw std::runtime_error("国美电器页面尚未打开");
    const std::string keyword = RelayedKeyword(source->DocumentURL());
    for (std::size_t i = 0; i < TStoreCatalogue::Count; ++i)
        if (catalogue[i].Rule == srRelay && browsers[i])
            browsers[i]->Navigate(catalogue[i].SearchAddress(keyword));
}
