#pragma once
// The upgrade info file as received: entries #key=value and the braced
// #message={value}, anywhere in the text. Any bytes are accepted; they are
// kept exactly as received and never converted, except where a text is shown
// (DecodeInfoText).

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TauInfoFileText {
public:
    explicit TauInfoFileText(std::string Bytes);

    // The value of entry Key (lower-case) of the text. The search runs on a
    // copy with A to Z made lower-case, so keys match in any case; the first
    // occurrence anywhere in the text wins. The value is taken from the bytes
    // as received and runs to the first byte below 32 (Braced: to the first
    // "}") or to the end of the text; nothing is trimmed. Empty when the
    // entry is missing.
    std::string InfoValue(std::string_view Key, bool Braced = false) const;

    // The upgrade file addresses: "url", then "url0", then "url<N>" counting
    // from one more than the number already collected, until the first empty
    // or missing one.
    std::vector<std::string> FileList() const;

    // The installation method: the first byte of "method", "1" gives 1,
    // "2" gives 2, anything else (or nothing) 0.
    std::uint8_t Method() const;

    const std::string& Bytes() const { return FBytes; }

private:
    std::size_t ValueStart(std::string_view Pattern) const;
    std::string ValueAt(std::size_t Start, bool Braced) const;
    void IndexUrlEntries();

    std::string FBytes;
    std::string FLower;
    // Where the value of the first "#url<digits>=" of each digit string
    // starts, found in one pass: the numbered list then costs one look-up per
    // entry however long the file is.
    std::unordered_map<std::string, std::size_t> FUrlStarts;
};

// A received text for display: UTF-8 when the bytes are valid UTF-8, else
// GB18030, so a server that still writes GBK shows Chinese.
QString DecodeInfoText(std::string_view Bytes);
