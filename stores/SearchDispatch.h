#pragma once
// The store steps of a search: every srDirect store is sent to its search
// address and the srPageForm store has its page's form filled and submitted,
// in catalogue order. One failing store never stops the others.

#include "browser/BrowserOperations.h"
#include "stores/StoreCatalogue.h"

#include <array>
#include <chrono>
#include <string>

using TStoreBrowsers = std::array<TBrowserOperations*, TStoreCatalogue::Count>;

// Removes leading and trailing characters with codes 0 to 32.
std::string TrimKeyword(const std::string& text);

// Runs each store step inside its own guard; failures end that step
// silently. Never throws. keyword must already be trimmed.
void RunStoreSteps(const TStoreCatalogue& catalogue, const TStoreBrowsers& browsers, const std::string& keyword);

// The page-form step waits for the page's scripts at most this long in all,
// so a hung page cannot hold the window.
inline constexpr std::chrono::milliseconds PageFormTimeLimit{2000};

// Fills the field and clicks the button of the page the browser shows now,
// within PageFormTimeLimit. Throws when the page has no document, lacks
// either element or does not answer in time; a missing button leaves the
// field filled and nothing submitted.
void SubmitPageForm(TBrowserOperations& browser, const TStoreEntry& store, const std::string& keyword);
