#include "http/auHTTPHeaders.h"

#include "http/auText.h"

#include <charconv>
#include <system_error>

namespace {

// The code of a status line "HTTP/1.1 200 OK": 0 when it is not a number.
std::int32_t StatusOf(const std::string& line)
{
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return 0;
    std::string_view code(line);
    code.remove_prefix(blank + 1);
    return HTTPDecimalOrZero(code.substr(0, code.find(' ')));
}

} // namespace

std::optional<std::string> THTTPHeaderBlock::Find(std::string_view Name) const
{
    for (std::size_t i = 1; i < Lines.size(); ++i) {
        const std::string_view line = Lines[i];
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && SameText(Trim(line.substr(0, colon)), Name))
            return std::string(Trim(line.substr(colon + 1)));
    }
    return std::nullopt;
}

THTTPHeaderReader::TStep THTTPHeaderReader::Feed(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (!FInBlock) {
        if (line.empty())
            return hsLine;
        FInBlock = true;
        FBlock.Lines.assign(1, std::string(line));
        return hsBlockStarted;
    }
    if (line.empty()) {
        FInBlock = false;
        return hsBlockEnded;
    }
    if ((line.front() == ' ' || line.front() == '\t') && FBlock.Lines.size() > 1)
        FBlock.Lines.back() += " " + std::string(Trim(line));  // a folded header line
    else
        FBlock.Lines.emplace_back(line);
    return hsLine;
}

THTTPHeaderBlock THTTPHeaderReader::Take()
{
    THTTPHeaderBlock block = std::move(FBlock);
    FBlock = THTTPHeaderBlock();
    if (!block.Lines.empty())
        block.Status = StatusOf(block.Lines.front());
    return block;
}

void THTTPHeaderReader::Reset()
{
    FBlock = THTTPHeaderBlock();
    FInBlock = false;
}

std::int32_t HTTPDecimalOrZero(std::string_view text)
{
    text = Trim(text);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return (error == std::errc() && end == text.data() + text.size()) ? value : 0;
}

std::string HTTPRealmOf(const std::string& challenge)
{
    const std::size_t quote = challenge.find("=\"");
    if (quote == std::string::npos)
        return challenge;
    const std::size_t start = quote + 2;
    if (start + 1 > challenge.size())
        return {};
    return challenge.substr(start, challenge.size() - 1 - start);
}

std::string HTTPSchemeOf(const std::string& challenge)
{
    const std::string_view text = Trim(challenge);
    return LowerCase(text.substr(0, text.find_first_of(" \t,")));
}

void HTTPTakeHeaderInfo(const THTTPHeaderBlock& block, bool all, TauHTTPResult& result)
{
    if (const auto type = block.Find("Content-Type"))
        result.ContentType = *type;
    result.ContentLength = HTTPDecimalOrZero(block.Value("Content-Length"));
    if (!all)
        return;
    result.RawHeaders.clear();
    for (const std::string& line : block.Lines)
        result.RawHeaders += line + "\r\n";
    if (!result.RawHeaders.empty())
        result.RawHeaders += "\r\n";
    result.ContentLanguage = block.Value("Content-Language");
    result.ContentEncoding = block.Value("Content-Encoding");
    result.Location = block.Value("Location");
    auto date = [&](const char* name) {
        const auto value = block.Find(name);
        return value ? HTTPDateToLocal(*value) : TDateTime(0);
    };
    result.Date = date("Date");
    result.LastModified = date("Last-Modified");
    result.Expires = date("Expires");
}
