#include "http/auUtils.h"

#include "http/auCurl.h"
#include "http/auText.h"

#include "platform/Stream.h"
#include "platform/ApplicationWindow.h"
#include "platform/FileInfo.h"
#include "platform/FileTimes.h"
#include "platform/MimeAssociations.h"
#include "platform/NetworkInterfaces.h"
#include "platform/ProcessLauncher.h"
#include "platform/ProgramFile.h"
#include "platform/TimeZone.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>

namespace {

constexpr auto npos = std::string::npos;
constexpr double MSecsPerDay = 86400000.0;
// TDateTime of 1 January 1970, the start of the system's clock.
constexpr double UnixEpoch = 25569.0;

// Text from the 0-based position on, empty when the position is past the end.
std::string From(const std::string& text, std::size_t position)
{
    return position < text.size() ? text.substr(position) : std::string();
}

// A whole text read as a decimal integer with an optional sign.
std::optional<int> ReadInt(const std::string& text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

int IntOrDefault(const std::string& text, int fallback)
{
    return ReadInt(text).value_or(fallback);
}

// 1-based position of Text in Names, 0 when it is none of them.
int IndexOfString(const std::string& text, std::initializer_list<const char*> names)
{
    int index = 1;
    for (const char* name : names) {
        if (text == name)
            return index;
        ++index;
    }
    return 0;
}

// The extension is the part from the last "." when no "\" or ":" follows it.
std::string FileExtension(const std::string& text)
{
    const auto last = text.find_last_of(".\\:");
    return last != npos && text[last] == '.' ? text.substr(last) : std::string();
}

std::optional<TDateTime> EncodeDate(int year, int month, int day)
{
    using namespace std::chrono;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok())
        return std::nullopt;
    constexpr sys_days origin = std::chrono::year(1899) / December / 30;
    return static_cast<TDateTime>((sys_days(date) - origin).count());
}

std::optional<TDateTime> EncodeTime(int hour, int minute, int second)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    return ((hour * 60 + minute) * 60 + second) * 1000 / MSecsPerDay;
}

// Seconds since 1970 UTC of a TDateTime that holds UTC, clamped to years 1
// to 9999 so that the system's calendar can take it.
std::int64_t ToUnixTime(TDateTime value)
{
    const double seconds = std::round((value - UnixEpoch) * 86400.0);
    return static_cast<std::int64_t>(std::clamp(seconds, -62135596800.0, 253402300799.0));
}

// The packed FAT date-time that a TDateTime maps to and the instant that
// local date-time means. Years 1980 to 2107 only; seconds go down to even.
std::optional<std::int64_t> DateTimeToFileStamp(TDateTime value)
{
    using namespace std::chrono;
    if (!std::isfinite(value) || value < 0 || value > 1e6)
        return std::nullopt;
    const auto msecs = static_cast<std::int64_t>(std::llround(value * MSecsPerDay));
    const auto dayCount = static_cast<int>(msecs / 86400000);
    const auto secondOfDay = static_cast<int>(msecs % 86400000 / 1000);
    constexpr sys_days origin = std::chrono::year(1899) / December / 30;
    const year_month_day date{origin + days(dayCount)};
    const int year = static_cast<int>(date.year());
    if (year < 1980 || year > 2107)
        return std::nullopt;
    // The file shows the instant the local date-time means, not that
    // date-time read as UTC.
    return platform::LocalToUnixTime(year, static_cast<int>(static_cast<unsigned>(date.month())),
                                     static_cast<int>(static_cast<unsigned>(date.day())), secondOfDay / 3600,
                                     secondOfDay / 60 % 60, (secondOfDay % 60) & ~1);
}

// One part of a parsed URL: false only for a real failure. An absent part
// reads as empty; Present tells it from an empty one (a "?" with no query).
bool UrlPart(CURLU* url, CURLUPart part, unsigned flags, std::string& text, bool* present = nullptr)
{
    const CURLUcode rc = CurlURLPart(url, part, flags, text);
    if (present)
        *present = rc == CURLUE_OK;
    return rc == CURLUE_OK || rc == CURLUE_NO_SCHEME || rc == CURLUE_NO_USER || rc == CURLUE_NO_PASSWORD ||
           rc == CURLUE_NO_HOST || rc == CURLUE_NO_PORT || rc == CURLUE_NO_QUERY || rc == CURLUE_NO_FRAGMENT;
}

// curl's own decoding turns "+" into a blank in queries; the addresses we
// split only ever had their %xx escapes decoded. An escape of a byte that
// KeepEscaped accepts stays as it is.
std::string PercentDecoded(const std::string& text, bool (*KeepEscaped)(int Byte) = nullptr)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool escape =
            text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0;
        const int byte = escape ? HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]) : 0;
        if (escape && !(KeepEscaped && KeepEscaped(byte))) {
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsUtf8(const std::string& Text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArrayView(Text.data(), static_cast<qsizetype>(Text.size())));
    return !utf8.hasError();
}

// The name with its %xx escapes decoded, as the server means it: an address
// ending in My%20Tool.exe names "My Tool.exe". The name is a file in the
// program's folder and must stay one, so an escape stays as it is where its
// character would change that: the characters a name is cut at ("/", "\",
// ":"), NUL (it would end the path early) and the other control characters
// (no real file name holds them; they would garble the boxes that show it).
// When the result would be "." or "..", or is no UTF-8 text (a name escaped
// in GBK), every escape stays: that is the name as it always was stored.
std::string DecodeFileNameEscapes(const std::string& Name)
{
    const std::string decoded = PercentDecoded(Name, [](int Byte) {
        return Byte < 0x20 || Byte == 0x7F || Byte == '/' || Byte == '\\' || Byte == ':';
    });
    if (decoded == "." || decoded == ".." || !IsUtf8(decoded))
        return Name;
    return decoded;
}

} // namespace

bool IsOnline()
{
    // No dial-up setting to consult here: the address test decides alone.
    return HasNetworkAddress();
}

bool HasNetworkAddress()
{
    return HasNetworkAddress(platform::IPv4Addresses());
}

bool HasNetworkAddress(const std::vector<std::string>& Addresses)
{
    return !Addresses.empty() && !Addresses.back().empty() && Addresses.back() != "127.0.0.1";
}

std::uint8_t PercentOf(long double Total, long double Done)
{
    if (Total == 0)
        return 0;
    const long double rounded = std::nearbyint(Done * 100 / Total);
    constexpr long double limit = 9223372036854775808.0L;  // 2^63
    if (!std::isfinite(rounded) || rounded >= limit || rounded < -limit)
        return 0;
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(rounded)) & 0xFF);
}

void GetAssociatedProgram(const std::string& Extension, std::string& Program)
{
    GetAssociatedProgram(TMimeAssociations(), Extension, Program);
}

void GetAssociatedProgram(const TFileTypeRegistry& Registry, const std::string& Extension, std::string& Program)
{
    Program.clear();
    if (Extension.empty() || Extension == ".")
        return;
    try {
        std::string type;
        if (Registry.ReadDefault(Extension, type) == rrNotText || type.empty() || !Registry.KeyExists(type))
            return;
        const std::string shell = type + "\\shell\\";
        if (Registry.KeyExists(shell + "open\\command")) {
            if (Registry.ReadDefault(shell + "open\\command", Program) == rrNotText) {
                Program.clear();
                return;
            }
        } else if (Registry.KeyExists(type + "\\shell")) {
            const std::vector<std::string> verbs = Registry.SubkeyNames(type + "\\shell");
            const auto opening = std::find_if(verbs.begin(), verbs.end(), [](const std::string& verb) {
                return LowerCase(verb).find("open") != npos;
            });
            // A value that is not text ends the search over the verbs, keeping
            // what was found so far.
            std::string command;
            if (opening != verbs.end()) {
                if (Registry.KeyExists(shell + *opening + "\\command") &&
                    Registry.ReadDefault(shell + *opening + "\\command", command) == rrText)
                    Program = command;
            } else {
                for (const std::string& verb : verbs) {
                    if (!Program.empty())
                        break;
                    if (!Registry.KeyExists(shell + verb + "\\command"))
                        continue;
                    if (Registry.ReadDefault(shell + verb + "\\command", command) == rrNotText)
                        break;
                    Program = command;
                }
            }
        }
        std::string parameters;
        SplitCommandLine(Program, parameters);
    } catch (...) {
        Program.clear();
    }
}

void OpenInBrowser(const std::string& URL, bool UseHtmlProgram)
{
    TProcessLauncher launcher;
    OpenInBrowser(URL, UseHtmlProgram, TMimeAssociations(), launcher);
}

void OpenInBrowser(const std::string& URL, bool UseHtmlProgram, const TFileTypeRegistry& Registry,
                   TProcessLauncher& Launcher)
{
    try {
        std::string program;
        if (UseHtmlProgram)
            GetAssociatedProgram(Registry, ".html", program);
        std::vector<std::string> arguments;
        if (!program.empty())
            arguments = TProcessLauncher::CommandArguments(program);
        if (arguments.empty())
            arguments = {"xdg-open"};
        arguments.push_back(WithDefaultScheme(URL));
        Launcher.StartDetached(arguments);
    } catch (...) {
        // Nothing is reported either way: the caller goes on as if the page
        // had been opened.
    }
}

void GetTempFolder(std::string& Folder)
{
    GetTempFolder(platform::ProgramFolder(), Folder);
}

void GetTempFolder(const std::string& ProgramFolder, std::string& Folder)
{
    // QDir::tempPath's rule, but without its resolving of the path: a
    // TMPDIR that names no folder must show as such, not as "".
    QString temp = qEnvironmentVariable("TMPDIR");
    if (temp.isEmpty())
        temp = QStringLiteral("/tmp");
    std::string folder = QDir::cleanPath(temp).toStdString();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    // The program's folder stands in for a missing temporary folder; when
    // even its path cannot be read, the temporary folder's name is still
    // the best answer there is: never an empty one.
    if (!FolderExists(folder) && !ProgramFolder.empty())
        folder = ProgramFolder;
    Folder = folder;
}

bool FolderExists(const std::string& Path)
{
    return platform::IsFolder(Path);
}

std::string WithDefaultScheme(const std::string& URL)
{
    return URL.find("://") == npos ? "http://" + URL : URL;
}

bool CrackURL(const std::string& URL, std::string& Scheme, std::string& Host, std::string& Path,
              std::string& UserName, std::string& Password, std::string& ExtraInfo, std::uint16_t& Port)
{
    try {
        const std::string address = WithDefaultScheme(URL);
        // A zero byte would silently cut the address short for curl.
        if (address.find('\0') != npos)
            return false;
        const TCurlUrl url(curl_url());
        if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(),
                                 CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS | CURLU_ALLOW_SPACE) != CURLUE_OK)
            return false;
        std::string scheme, host, path, user, password, query, fragment, port;
        bool hasQuery = false;
        bool hasFragment = false;
        // curl hands the host back decoded already; the other parts come raw.
        if (!UrlPart(url.get(), CURLUPART_SCHEME, 0, scheme) || !UrlPart(url.get(), CURLUPART_HOST, 0, host) ||
            !UrlPart(url.get(), CURLUPART_PATH, 0, path) || !UrlPart(url.get(), CURLUPART_USER, 0, user) ||
            !UrlPart(url.get(), CURLUPART_PASSWORD, 0, password) ||
            !UrlPart(url.get(), CURLUPART_QUERY, 0, query, &hasQuery) ||
            !UrlPart(url.get(), CURLUPART_FRAGMENT, 0, fragment, &hasFragment) ||
            !UrlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT, port))
            return false;
        path = PercentDecoded(path);
        user = PercentDecoded(user);
        password = PercentDecoded(password);
        std::string extra;
        if (hasQuery)
            extra += "?" + PercentDecoded(query);
        if (hasFragment)
            extra += "#" + PercentDecoded(fragment);
        if (scheme.size() > 32 || host.size() > 256 || user.size() > 128 || password.size() > 128 ||
            path.size() > 2048 || extra.size() > 2048)
            return false;
        const std::uint16_t portNumber = port.empty() ? 0 : static_cast<std::uint16_t>(std::stoul(port));
        Scheme = std::move(scheme);
        Host = std::move(host);
        Path = std::move(path);
        UserName = std::move(user);
        Password = std::move(password);
        ExtraInfo = std::move(extra);
        Port = portNumber;
        return true;
    } catch (...) {
        return false;
    }
}

std::string URLHostName(const std::string& URL)
{
    std::string scheme, host, path, user, password, extra;
    std::uint16_t port = 0;
    CrackURL(URL, scheme, host, path, user, password, extra, port);
    return host;
}

std::string URLFileName(const std::string& URL)
{
    std::string name = URL;
    std::replace(name.begin(), name.end(), '/', '\\');
    const auto last = name.find_last_of("\\:");
    return DecodeFileNameEscapes(last == npos ? name : name.substr(last + 1));
}

std::array<std::string, 4> SplitVersion(const std::string& Version)
{
    std::array<std::string, 4> parts;
    std::string rest = Version + ".";
    for (std::string& part : parts) {
        const auto dot = rest.find('.');
        if (dot == npos) {
            part = "0";
            continue;
        }
        part = rest.substr(0, dot);
        rest.erase(0, dot + 1);
    }
    return parts;
}

std::int8_t CompareVersions(const std::string& A, const std::string& B)
{
    const auto a = SplitVersion(A);
    const auto b = SplitVersion(B);
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int left = IntOrDefault(a[i], -1);
        const int right = IntOrDefault(b[i], -1);
        if (left == -1 || right == -1) {
            // char_traits<char> compares bytes as unsigned, as memcmp does.
            const int bytes = A.compare(B);
            return static_cast<std::int8_t>((bytes > 0) - (bytes < 0));
        }
        if (left != right)
            return left > right ? 1 : -1;
    }
    return 0;
}

void SplitAt(const std::string& Separator, const std::string& Text, std::string& Before, std::string& After,
             bool NotFoundToAfter, unsigned Options)
{
    const auto at = Separator.empty() ? npos : Text.find(Separator);
    if (at == npos) {
        Before = NotFoundToAfter ? std::string() : Text;
        After = NotFoundToAfter ? Text : std::string();
        return;
    }
    std::string before = Text.substr(0, at);
    std::string after = Text.substr(at + Separator.size());
    if (Options & spSeparatorToBefore)
        before += Separator;
    if (Options & spSeparatorToAfter)
        after.insert(0, Separator);
    Before = std::move(before);
    After = std::move(after);
}

void SplitCommandLine(std::string& Command, std::string& Parameters)
{
    Parameters.clear();
    Command = std::string(Trim(Command));
    if (Command.empty())
        return;

    const auto q1 = Command.find('"');
    auto q2 = npos;
    if (q1 != npos) {
        Command.erase(q1, 1);
        q2 = Command.find('"', q1);
    }
    if (q1 != npos && q2 != npos) {
        Command.erase(q2, 1);
        if (q1 == 0) {
            // The character right after the closing quote, normally a blank, is skipped.
            Parameters = std::string(Trim(From(Command, q2 + 1)));
            Command.resize(q2);
            // A quoted "%1" loses its quotes.
            if (const auto p1 = Parameters.find('"'); p1 != npos) {
                Parameters.erase(p1, 1);
                if (const auto p2 = Parameters.find('"', p1); p2 != npos)
                    Parameters.erase(p2, 1);
            }
        } else {
            Parameters = Command.substr(q1);
            Command.resize(q1 - 1);  // drops the blank before the quoted argument
        }
    } else {
        const std::string unsplit = Command;
        struct TTrial {
            const char* Separator;
            bool Kept;
        };
        for (const TTrial& trial : {TTrial{" -", true}, TTrial{" /", true}, TTrial{" \\", true}, TTrial{",", false},
                                    TTrial{" %", true}}) {
            if (!Parameters.empty())
                break;
            std::string program, parameters;
            SplitAt(trial.Separator, Command, program, parameters, false, trial.Kept ? unsigned{spSeparatorToAfter} : 0u);
            // A split that cuts the file extension off the program is not one.
            if (!FileExtension(Command).empty() && FileExtension(program).empty())
                continue;
            Command = program;
            Parameters = parameters;
        }
        if (UpperCase(FileExtension(Command)) == ".DLL" && UpperCase(Command).find("RUNDLL") != npos) {
            // "rundll32.exe url.dll,Handler %1": the program is rundll32.exe
            // and the library with its entry point are its parameters.
            const auto folderEnd = unsplit.find_last_of("\\:");
            const std::string folder = folderEnd == npos ? std::string() : unsplit.substr(0, folderEnd + 1);
            const std::string name = folderEnd == npos ? unsplit : unsplit.substr(folderEnd + 1);
            const auto blank = name.find(' ');
            Parameters = blank == npos ? std::string() : name.substr(blank + 1);
            Command = folder + name.substr(0, blank);
        }
    }
    Command = std::string(Trim(Command));
    Parameters = std::string(Trim(Parameters));
}

void CutToken(std::string& S, const std::string& Separator, bool Remove, std::string& Head)
{
    const auto at = Separator.empty() ? npos : S.find(Separator);
    std::string head = S.substr(0, at);
    if (Remove)
        S = at == npos ? std::string() : S.substr(at + Separator.size());
    Head = std::move(head);
}

int WeekdayNumber(const std::string& Name)
{
    return IndexOfString(UpperCase(Name), {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"});
}

int MonthNumber(const std::string& Name)
{
    return IndexOfString(UpperCase(Name),
                         {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"});
}

TDateTime ZoneOffsetToTime(const std::string& Value)
{
    const std::string offset(Trim(Value).substr(0, 5));
    if (offset.empty() || (offset[0] != '+' && offset[0] != '-'))
        return 0;
    const auto hours = ReadInt(From(offset, 1).substr(0, 2));
    const auto minutes = ReadInt(From(offset, 3));
    const auto time = hours && minutes ? EncodeTime(*hours, *minutes, 0) : std::nullopt;
    if (!time)
        return 0;
    return offset[0] == '-' ? -*time : *time;
}

TDateTime LocalZoneBias(TDateTime UTC)
{
    // The offset in force at the instant concerned, not today's: a date in
    // winter keeps its winter offset when read in summer.
    if (!std::isfinite(UTC))
        return 0;
    return -static_cast<double>(platform::UtcOffsetAt(ToUnixTime(UTC))) / 86400.0;
}

TDateTime UTCToLocal(TDateTime Value)
{
    return Value - LocalZoneBias(Value);
}

TDateTime HTTPDateToLocal(const std::string& Value)
{
    std::string s(Trim(Value));
    if (s.empty())
        return 0;
    std::string head;
    if (WeekdayNumber(s.substr(0, 3)) > 0) {
        CutToken(s, " ", true, head);
        s = std::string(TrimLeft(s));
    }
    // RFC 850 writes 06-Nov-94; the other forms separate by blanks.
    const auto dash = s.find('-');
    const auto blank = s.find(' ');
    const std::string separator = dash != npos && dash >= 1 && blank != npos && dash < blank ? "-" : " ";

    int day = 1;
    int month = 0;
    auto readDay = [&] {
        CutToken(s, separator, true, head);
        day = IntOrDefault(head, 1);
        s = std::string(TrimLeft(s));
    };
    auto readMonth = [&] {
        CutToken(s, separator, true, head);
        month = MonthNumber(head);
        s = std::string(TrimLeft(s));
    };
    if (MonthNumber(s.substr(0, s.find(separator))) > 0) {
        readMonth();
        readDay();
    } else {
        readDay();
        readMonth();
    }

    CutToken(s, " ", true, head);
    int year = IntOrDefault(head, 1900);
    if (year == 1900) {
        // asctime puts the time before the year: read the year from the rest
        // and keep the time for below.
        year = IntOrDefault(s, 1900);
        s = head;
    }
    int fullYear = static_cast<std::uint16_t>(year);
    if (fullYear < 80)
        fullYear += 2000;
    else if (fullYear < 100)
        fullYear += 1900;

    // An impossible date or time means the value names no instant at all;
    // 0 is what callers take for "no date".
    auto result = EncodeDate(fullYear, month, day);
    if (!result)
        return 0;
    if (s.find(':') != npos) {
        std::string time, hour, minute;
        CutToken(s, " ", true, time);
        CutToken(time, ":", true, hour);
        CutToken(time, ":", true, minute);
        const auto timeOfDay = EncodeTime(IntOrDefault(hour, 0), IntOrDefault(minute, 0), IntOrDefault(time, 0));
        if (!timeOfDay)
            return 0;
        *result += *timeOfDay;
    }
    s = std::string(TrimLeft(s));
    const TDateTime offset = s.size() >= 5 ? ZoneOffsetToTime(s) : 0;
    return UTCToLocal(*result - offset);
}

bool SetFileTimes(const std::string& FileName, TDateTime Created, TDateTime Modified, TDateTime Accessed)
{
    static_cast<void>(Created);  // no settable creation time on Linux
    try {
        auto stamp = [](TDateTime value) {
            return value == -1 ? std::nullopt : DateTimeToFileStamp(value);
        };
        return platform::SetFileTimes(FileName, stamp(Modified), stamp(Accessed));
    } catch (...) {
        return false;
    }
}

std::int64_t GetFileSize64(const std::string& FileName)
{
    return platform::FileSize(FileName);
}

bool SaveResourceToStream(const std::string& Name, const std::string& Type, TStream* Stream)
{
    if (Stream == nullptr || Name.empty() || Type.empty())
        return false;
    try {
        QFile resource(QStringLiteral(":/") + QString::fromStdString(Type) + u'/' + QString::fromStdString(Name));
        if (!resource.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = resource.readAll();
        if (bytes.isEmpty())
            return false;
        Stream->Write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        return true;
    } catch (...) {
        return false;
    }
}

void CloseApplication()
{
    try {
        if (QObject* window = platform::MainWindow())
            QMetaObject::invokeMethod(window, "close", Qt::DirectConnection);
    } catch (...) {
        // The window's close handlers failed; the application still ends.
    }
    QCoreApplication::quit();
}
