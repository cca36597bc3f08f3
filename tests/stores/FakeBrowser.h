#pragma once
// A browser that records what the store search asks of it. Browsers that
// share a journal write every step there, in the order they were asked.

#include "browser/BrowserOperations.h"

#include <algorithm>
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
        Log("navigate");
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
            TRef(TFakeBrowser& b, const std::string& id, TElement& e) : B(b), Id(id), E(e) {}
            void SetValue(const std::string& v) override
            {
                B.RequireDeadline();
                E.Value = v;
                B.Log("set " + Id);
            }
            void Click() override
            {
                B.RequireDeadline();
                ++E.Clicks;
                B.Log("click " + Id);
            }
            TFakeBrowser& B;
            std::string Id;
            TElement& E;
        };
        RequireDeadline();
        return std::make_unique<TRef>(*this, id, it->second);
    }
    void SetScriptDeadline(TDeadline deadline) override
    {
        Deadline = deadline;
        if (deadline)
            LongestLimit = std::max(LongestLimit, *deadline - std::chrono::steady_clock::now());
    }

    std::string Name;                               // in the journal
    std::vector<std::string>* Journal = nullptr;
    bool RefuseNavigation = false;
    int State = ReadyStateComplete;
    bool Document = true;
    std::string URL;
    std::string Selection;
    std::map<std::string, TElement> Elements;
    std::vector<std::string> Navigations;
    TDeadline Deadline;
    std::chrono::steady_clock::duration LongestLimit{};
    // Counts page-script calls made without a deadline in force.
    int UnboundedScriptCalls = 0;

private:
    void Require() const
    {
        if (!Document)
            throw std::runtime_error("no document");
    }
    void RequireDeadline()
    {
        if (!Deadline)
            ++UnboundedScriptCalls;
    }
    void Log(const std::string& step)
    {
        if (Journal)
            Journal->push_back(Name + " " + step);
    }
};
