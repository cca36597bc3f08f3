#include "upgrade/auInfoFile.h"

#include "http/auText.h"

#include <QStringDecoder>

namespace {

constexpr std::string_view UrlPrefix = "#url";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

TauInfoFileText::TauInfoFileText(std::string Bytes)
    : FBytes(std::move(Bytes)), FLower(LowerCase(FBytes))
{
    // Only A to Z change, so every position in the copy is the same as in
    // the bytes received.
    IndexUrlEntries();
}

void TauInfoFileText::IndexUrlEntries()
{
    for (std::size_t at = FLower.find(UrlPrefix); at != std::string::npos; at = FLower.find(UrlPrefix, at + 1)) {
        std::size_t end = at + UrlPrefix.size();
        while (end < FLower.size() && IsDigit(FLower[end]))
            ++end;
        if (end < FLower.size() && FLower[end] == '=') {
            const std::size_t digits = at + UrlPrefix.size();
            FUrlStarts.try_emplace(FLower.substr(digits, end - digits), end + 1);
        }
    }
}

std::size_t TauInfoFileText::ValueStart(std::string_view Pattern) const
{
    const std::size_t at = FLower.find(Pattern);
    return at == std::string::npos ? at : at + Pattern.size();
}

std::string TauInfoFileText::ValueAt(std::size_t Start, bool Braced) const
{
    if (Start == std::string::npos)
        return {};
    std::size_t end = Start;
    if (Braced) {
        end = FBytes.find('}', Start);
    } else {
        while (end < FBytes.size() && static_cast<unsigned char>(FBytes[end]) >= 32)
            ++end;
    }
    if (end == std::string::npos)
        end = FBytes.size();
    return FBytes.substr(Start, end - Start);
}

std::string TauInfoFileText::InfoValue(std::string_view Key, bool Braced) const
{
    std::string pattern = "#";
    pattern += Key;
    pattern += Braced ? "={" : "=";
    return ValueAt(ValueStart(pattern), Braced);
}

std::vector<std::string> TauInfoFileText::FileList() const
{
    std::vector<std::string> files;
    for (const char* digits : {"", "0"}) {
        const auto found = FUrlStarts.find(digits);
        if (found != FUrlStarts.end())
            if (std::string value = ValueAt(found->second, false); !value.empty())
                files.push_back(std::move(value));
    }
    for (std::size_t n = files.size() + 1;; ++n) {
        const auto found = FUrlStarts.find(std::to_string(n));
        if (found == FUrlStarts.end())
            break;
        std::string value = ValueAt(found->second, false);
        if (value.empty())
            break;
        files.push_back(std::move(value));
    }
    return files;
}

std::uint8_t TauInfoFileText::Method() const
{
    const std::string method = InfoValue("method");
    if (method.empty())
        return 0;
    return method.front() == '1' ? 1 : method.front() == '2' ? 2 : 0;
}

QString DecodeInfoText(std::string_view Bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
    if (!utf8.hasError())
        return text;
    QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
    if (!gb18030.isValid())
        return text;
    return gb18030.decode(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
}
