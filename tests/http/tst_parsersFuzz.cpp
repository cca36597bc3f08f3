// Random and mutated inputs to the text parsers of auUtils: none may crash
// (the sanitizer builds run this too) and each keeps its basic invariants.
// The inputs come from a fixed seed; each run stops after a count or a time
// budget, whichever comes first, so a slow build checks fewer of them.

#include "EnvironmentScope.h"

#include "http/auUtils.h"

#include <QElapsedTimer>
#include <QTest>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int MaxInputs = 200000;
constexpr qint64 BudgetMs = 700;

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

bool IsTrimmed(const std::string& text)
{
    return text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back()));
}

std::string Trimmed(const std::string& text)
{
    std::size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

// The input as C-escaped text, for the failure message.
QByteArray Shown(const std::string& input)
{
    QByteArray shown;
    for (const char c : input.substr(0, 400)) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127 && c != '\\')
            shown += c;
        else
            shown += QByteArray("\\x") + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    if (input.size() > 400)
        shown += "... (" + QByteArray::number(qulonglong(input.size())) + " bytes)";
    return shown;
}

// Seeds, mutated by byte flips, inserted bytes and tokens, cut and repeated
// ranges, splices of two seeds, control characters, broken UTF-8 and now
// and then a very long repetition.
class TInputs {
public:
    TInputs(std::vector<std::string> seeds, std::uint32_t seed) : FSeeds(std::move(seeds)), FRandom(seed) {}

    std::string Next()
    {
        if (FNextSeed < FSeeds.size())
            return FSeeds[FNextSeed++];
        std::string s = Below(10) == 0 ? RandomBytes(Below(48)) : FSeeds[Below(FSeeds.size())];
        for (std::size_t rounds = 1 + Below(4); rounds > 0; --rounds)
            Mutate(s);
        if (Below(200) == 0)
            s = Repeated(s.empty() ? std::string("9") : s, 20000 + Below(60000));
        return s;
    }

private:
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(FRandom); }

    std::string RandomBytes(std::size_t n)
    {
        std::string s;
        for (std::size_t i = 0; i < n; ++i)
            s += static_cast<char>(Below(256));
        return s;
    }

    static std::string Repeated(const std::string& part, std::size_t length)
    {
        std::string s;
        while (s.size() < length)
            s += part;
        return s;
    }

    void Mutate(std::string& s)
    {
        static const char* const tokens[] = {" ", "-", ":", ".", ",", "\"", "%", "%1", "%4", "%zz", "%00", "://",
                                             "http://", "@", "?", "#", "[", "]", "\\", "/", " -", " /", " %",
                                             "+0800", "-0330", "+08:00", "GMT", "Nov", "Sun,", "Sunday,", "1994",
                                             "94", "08:49:37", "2147483648", "-1", "RUNDLL", ".dll", ".exe"};
        const std::size_t at = Below(s.size() + 1);
        switch (Below(8)) {
        case 0:
            if (!s.empty())
                s[Below(s.size())] ^= static_cast<char>(1u << Below(8));
            break;
        case 1: s.insert(at, 1, static_cast<char>(Below(256))); break;
        case 2: s.insert(at, tokens[Below(std::size(tokens))]); break;
        case 3: s.erase(at, Below(8)); break;
        case 4: s.insert(at, s.substr(Below(s.size() + 1), Below(16))); break;
        case 5: {
            const std::string& other = FSeeds[Below(FSeeds.size())];
            s = s.substr(0, at) + other.substr(Below(other.size() + 1));
            break;
        }
        case 6: s.insert(at, 1, Below(5) == 0 ? '\x7f' : static_cast<char>(Below(32))); break;
        default: {
            static const char* const broken[] = {"\xc3", "\xff", "\xe4\xb8", "\x80\x80", "\xed\xa0\x80", "\xc0\xaf"};
            s.insert(at, broken[Below(std::size(broken))]);
            break;
        }
        }
    }

    std::vector<std::string> FSeeds;
    std::mt19937 FRandom;
    std::size_t FNextSeed = 0;
};

// Runs check on inputs until the count or the time budget is used up.
template <typename Check>
void Run(TInputs& inputs, Check check)
{
    QElapsedTimer clock;
    clock.start();
    int count = 0;
    for (; count < MaxInputs && clock.elapsed() < BudgetMs; ++count) {
        check(inputs.Next());
        if (QTest::currentTestFailed())
            return;
    }
    qInfo("%d inputs checked", count);
}

} // namespace

class TestParsersFuzz : public QObject {
    Q_OBJECT

private slots:
    void httpDates();
    void versions();
    void commandLines();
    void urls();
};

void TestParsersFuzz::httpDates()
{
    // A zone with daylight time, so that the conversion is exercised too.
    const TEnvironmentScope tz("TZ", "Europe/Berlin");
    TInputs inputs({"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                    "Sun, 06 Nov 1994 08:49:37 +0800", "06 Nov 1994", "Wed, 05-Oct-05 10:00:00 -0330",
                    "Thu, 01 Jan 1970 00:00:00 GMT", "Fri, 31 Dec 9999 23:59:59 -2359", "Sat, 01 Jan 0001 00:00:00 +2359",
                    "Mon, 32 Jan 2019 25:61:61 GMT", "Nov", "-", "1900", "65535", "+0000", ""},
                   0x5eed0001);
    Run(inputs, [](const std::string& value) {
        const TDateTime local = HTTPDateToLocal(value);
        // 0, or a day of the years 1 to 9999, give or take a day for each of
        // the two zone offsets.
        QVERIFY2(std::isfinite(local) && (local == 0 || (local > -693596 && local < 2958468)), Shown(value));
        QVERIFY2(HTTPDateToLocal(" \t" + value + "\r\n") == local, Shown(value));
        const TDateTime offset = ZoneOffsetToTime(value);
        QVERIFY2(std::abs(offset) < 1, Shown(value));
    });
}

void TestParsersFuzz::versions()
{
    TInputs inputs({"1.10", "1.9", "1.2.0.0", "1.2.3.4.5", "2.0beta", "", "1.1.610", "-1.-1", "2147483647.2147483648",
                    "0.0.0.0", "1..2", "....", "\xff.\x80", "+1.-0", "01.001"},
                   0x5eed0002);
    Run(inputs, [&inputs](const std::string& a) {
        const std::string b = inputs.Next();
        const int ab = CompareVersions(a, b);
        QVERIFY2(ab >= -1 && ab <= 1, Shown(a + " / " + b));
        QVERIFY2(CompareVersions(b, a) == -ab, Shown(a + " / " + b));
        QVERIFY2(CompareVersions(a, a) == 0, Shown(a));
    });
}

void TestParsersFuzz::commandLines()
{
    TInputs inputs({R"("C:\Program Files\Web\browser.exe" -nohome)", R"("C:\Program Files\Web\browser.exe" "%1")",
                    R"(C:\Web\browser.exe "%1")", R"(C:\WEB\BROWSER.EXE %1)",
                    "rundll32.exe url.dll,FileProtocolHandler %1",
                    R"(C:\WINDOWS\system32\rundll32.exe url.dll,FileProtocolHandler %1)", R"(C:\My -Tools\app.exe)",
                    "/usr/bin/firefox-esr %u", "chromium --new-window %U", "\"", "\"\"", "\" \"", "a\"b\"c", " -",
                    ",", "RUNDLL.DLL", "x.dll rundll", "\\:.", R"(C:\a.exe "%1" "%2")"},
                   0x5eed0003);
    Run(inputs, [](const std::string& line) {
        std::string command = line;
        std::string parameters;
        SplitCommandLine(command, parameters);
        QVERIFY2(IsTrimmed(command) && IsTrimmed(parameters), Shown(line));
        // Both come out of the line; separators and quotes only ever go.
        QVERIFY2(command.size() + parameters.size() <= Trimmed(line).size(), Shown(line));
    });
}

void TestParsersFuzz::urls()
{
    TInputs inputs({"host/a.txt", "http://u%41:p%40w@h:8080/a%20b/c.exe?x=1+2#f", "https://[::1]:443/",
                    "file:///etc/hosts", "ftp://h/", "http://h:99999/", "http://h/%zz%", "shopscope://x", "http://",
                    "://", "http://h/" + std::string(2047, 'a'), "http://" + std::string(256, 'h'),
                    "http://h/?" + std::string(2047, 'q'), "http://www.shopscope.cn/download/new/program.exe",
                    "http://h/%2E%2E", "http://h/a%2Fb%00c%E8%BD%AF%20d.exe"},
                   0x5eed0004);
    Run(inputs, [](const std::string& url) {
        std::string scheme = "s", host = "h", path = "p", user = "u", password = "w", extra = "x";
        std::uint16_t port = 7;
        const bool ok = CrackURL(url, scheme, host, path, user, password, extra, port);
        if (!ok) {
            QVERIFY2(scheme + host + path + user + password + extra == "shpuwx" && port == 7, Shown(url));
        } else {
            QVERIFY2(scheme.size() <= 32 && host.size() <= 256 && user.size() <= 128 && password.size() <= 128 &&
                         path.size() <= 2048 && extra.size() <= 2048,
                     Shown(url));
        }
        QVERIFY2(URLHostName(url) == (ok ? host : std::string()), Shown(url));
        if (url.find("://") == std::string::npos) {
            std::string s2, h2, p2, u2, w2, x2;
            std::uint16_t port2 = 0;
            const bool ok2 = CrackURL("http://" + url, s2, h2, p2, u2, w2, x2, port2);
            QVERIFY2(ok2 == ok && (!ok || (h2 == host && p2 == path && x2 == extra && port2 == port)), Shown(url));
        }
        // Decoding only shortens the name and never brings in a separator, a
        // NUL or a dot name the address did not spell out.
        const std::string name = URLFileName(url);
        const bool suffix = url.compare(url.size() - std::min(name.size(), url.size()), name.size(), name) == 0;
        const bool dotName = name == "." || name == "..";
        QVERIFY2(name.find_first_of("/\\:") == std::string::npos && name.size() <= url.size() &&
                     (suffix || url.find('%') != std::string::npos) &&
                     (name.find('\0') == std::string::npos || url.find('\0') != std::string::npos) &&
                     (!dotName || suffix),
                 Shown(url));
    });
}

QTEST_GUILESS_MAIN(TestParsersFuzz)
#include "tst_parsersFuzz.moc"
