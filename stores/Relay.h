#pragma once
// The relay: when the Gome tab completes a page, the relay stores are sent
// to their search addresses with the keyword as the Gome site escaped it.

#include "stores/SearchDispatch.h"

#include <string>

// Everything after the first "keyword=" of address (later parameters and a
// fragment included), or empty when there is none. Case-sensitive.
std::string RelayedKeyword(const std::string& address);

// The document-complete handling of the srPageForm store's browser. Nothing
// happens unless that browser's ready state is complete. Not guarded: a
// missing document or a refused navigation throws and stops the relay there.
void RelaySearch(const TStoreCatalogue& catalogue, const TStoreBrowsers& browsers);
