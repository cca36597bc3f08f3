#include "upgrade/publish/InfoFileEdit.h"

#include "http/auText.h"
#include "upgrade/auInfoSignature.h"

std::string LineEndOf(std::string_view Text)
{
    const std::size_t lf = Text.find('\n');
    return lf != std::string_view::npos && lf > 0 && Text[lf - 1] == '\r' ? "\r\n" : "\n";
}

std::string WithFinalLineEnd(std::string_view Text)
{
    std::string result(Text);
    if (!result.empty() && result.back() != '\n' && result.back() != '\r')
        result += LineEndOf(Text);
    return result;
}

std::string WithoutHashEntries(std::string_view Text)
{
    const std::string prefix = "#" + std::string(HashEntryPrefix);
    std::string result;
    result.reserve(Text.size());
    for (std::size_t start = 0; start < Text.size();) {
        const std::size_t lf = Text.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? Text.size() : lf + 1;
        const std::string_view line = Text.substr(start, end - start);
        if (!SameText(line.substr(0, prefix.size()), prefix))
            result += line;
        start = end;
    }
    return result;
}

std::string WithEntry(std::string_view Text, std::string_view Key, std::string_view Value)
{
    std::string result = WithFinalLineEnd(Text);
    result += '#';
    result += Key;
    result += '=';
    result += Value;
    result += LineEndOf(Text);
    return result;
}
