#pragma once
// Header blocks as they arrive line by line: put together, folded lines
// joined, and read for the values the engine reports.

#include "http/auHTTPRequest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct THTTPHeaderBlock {
    std::vector<std::string> Lines;  // the status line first, without line ends
    std::int32_t Status = -1;
    // The value of the first header of that name (any case), trimmed.
    std::optional<std::string> Find(std::string_view Name) const;
    std::string Value(std::string_view Name) const { return Find(Name).value_or(std::string()); }
};

// Collects the lines of one header block after another.
class THTTPHeaderReader {
public:
    enum TStep { hsLine, hsBlockStarted, hsBlockEnded };
    // One line as the library hands it over, line end included.
    TStep Feed(std::string_view Line);
    // After hsBlockEnded: the block, its Status read from the status line.
    THTTPHeaderBlock Take();
    void Reset();

private:
    THTTPHeaderBlock FBlock;
    bool FInBlock = false;
};

// A whole decimal number that fits 32 bits, else 0.
std::int32_t HTTPDecimalOrZero(std::string_view Text);
// The realm of a challenge: from after its first '="' up to, not including,
// its last character; the whole value when it holds no '="'.
std::string HTTPRealmOf(const std::string& Challenge);
// The authentication scheme a challenge names, lower-cased ("basic").
std::string HTTPSchemeOf(const std::string& Challenge);
// Takes ContentType (when present) and ContentLength from Block; with All,
// also the raw headers, the other values and the dates of OnHeaderInfo.
void HTTPTakeHeaderInfo(const THTTPHeaderBlock& Block, bool All, TauHTTPResult& Result);
