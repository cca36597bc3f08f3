#include "stores/SearchDispatch.h"

#include <stdexcept>

std::string TrimKeyword(const std::string& text)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && blank(text[first]))
        ++first;
    while (last > first && blank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

void SubmitPageForm(TBrowserOperations& browser, const TStoreEntry& store, const std::string& keyword)
{
    const TScriptTimeLimit limit(browser, PageFormTimeLimit);
    const auto field = browser.ElementById(store.FieldId);
    if (!field)
        throw std::runtime_error("页面上没有元素“" + store.FieldId + "”");
    field->SetValue(keyword);
    const auto button = browser.ElementById(store.ButtonId);
    if (!button)
        throw std::runtime_error("页面上没有元素“" + store.ButtonId + "”");
    button->Click();
}

void RunStoreSteps(const TStoreCatalogue& catalogue, const TStoreBrowsers& browsers, const std::string& keyword)
{
    for (std::size_t i = 0; i < TStoreCatalogue::Count; ++i) {
        const TStoreEntry& store = catalogue[i];
        TBrowserOperations* browser = browsers[i];
        if (store.Rule == srRelay || !browser)
            continue;
        try {
            if (store.Rule == srDirect)
                browser->Navigate(store.SearchAddress(keyword));
            else
                SubmitPageForm(*browser, store, keyword);
        } catch (...) {
            // A store that cannot be searched right now must not keep the
            // user from the others' results.
        }
    }
}
