#pragma once
// A browser that records what the store search asks of it.

#include "browser/BrowserOperations.h"

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

class TFakeBrowser : public TBrowserOperations {
public:
    struct TElement {
        std::string Value;
        int Clicks = 0;
    };

    void Navigate(const std::string& address) override
    {
        if (RefuseNavigation)
            throw std::runtime_error("refused");
        Navigations.push_back(address);
    }
    int ReadyState() const override { return State; }
    bool HasDocument() const override { return Document; }
    std::string DocumentURL() const override
    {
        Require();
        return URL;
    }
    std::string SelectionText() const override
    {
        Require();
        return Selection;
    }
    std::unique_ptr<TBrowserElement> ElementById(const std::string& id) override
    {
        Require();
        auto it = Elements.find(id);
        if (it == Elements.end())
            return nullptr;
        struct TRef : TBrowserElement {
            explicit TRef(TElement& e) : E(e) {}
            void SetValue(const std::string& v) override { E.Value = v; }
            void Click() override { ++E.Clicks; }
            TElement& E;
        };
        return std::make_unique<TRef>(it->second);
    }

    bool RefuseNavigation = false;
    int State = ReadyStateComplete;
    bool Document = true;
    std::string URL;
    std::string Selection;
    std::map<std::string, TElement> Elements;
    std::vector<std::string> Navigations;

private:
    void Require() const
    {
        if (!Document)
            throw std::runtime_error("no document");
    }
};
