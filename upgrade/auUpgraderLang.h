#pragma once
// The upgrade message table: every text the upgrade windows and boxes show,
// 35 messages in 25 languages, compiled into the program as data (one table
// per language under upgrade/messages/). Message k of language L has the
// string identifier 41000 + 50 * (L - 1) + k; identifiers 35 to 49 of each
// block hold no text. One language is current for the whole process.
// Window thread only.

#include <QString>

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

enum TauUpgraderLanguage : std::uint8_t {
    wlAuto,
    wlEnglish,
    wlRussian,
    wlGerman,
    wlFrench,
    wlSpanish,
    wlPortuguese,
    wlPortugueseBrazilian,
    wlItalian,
    wlDutch,
    wlDanish,
    wlSwedish,
    wlFinnish,
    wlEstonian,
    wlUkrainian,
    wlCzech,
    wlHungarian,
    wlRomanian,
    wlCatalan,
    wlBasque,
    wlAfrikaans,
    wlChineseTraditional,
    wlChineseSimplified,
    wlIndonesian,
    wlMalay,
    wlIcelandic
};

inline constexpr int UpgraderLanguageCount = 25;
inline constexpr int UpgraderMessageCount = 35;
inline constexpr std::uint16_t FirstMessageId = 41000;
inline constexpr std::uint16_t LanguageBlockSize = 50;
// Shown instead of the application title when that names the design
// environment (40998); the wizard's engraved about text (40999).
inline constexpr std::uint16_t AppTitleStringId = 40997;
inline constexpr std::uint16_t DesignEnvironmentStringId = 40998;
inline constexpr std::uint16_t AboutStringId = 40999;

// The text of a string identifier of the table; empty when it holds none.
QString UpgraderString(int Id);

// The identifier of message 0 of language L (1 to 25); 0 for anything else.
std::uint16_t LangBaseOf(TauUpgraderLanguage L);
// The identifier of message 0 of the current language; 0 until a language
// has been chosen, so that every text is empty until then.
std::uint16_t LangBase();
// Message k of the current language.
QString LangStr(int k);

// The language a POSIX locale name selects ("zh_CN.UTF-8", "pt_BR",
// "de_DE@euro"): Portuguese of Brazil 7, other Portuguese 6; Chinese of
// China 22, any other Chinese 21; otherwise the first table language of that
// language code; English for every other name, "C", "POSIX" and "".
TauUpgraderLanguage LanguageOfLocale(std::string_view LocaleName);
// The language choice the Wizard's Language setter makes: Value itself, or
// for wlAuto the language of the locale the process runs under (LC_ALL, then
// LC_MESSAGES, then LANG). Sets LangBase for the whole process and returns
// the language chosen.
TauUpgraderLanguage ChooseUpgraderLanguage(TauUpgraderLanguage Value);

// One argument of LangFmt: a text (QString, or UTF-8 bytes), an integer or a
// real number.
class TLangArg {
public:
    TLangArg(const QString& Text) : FValue(Text) {}
    TLangArg(const char* Text) : FValue(QString::fromUtf8(Text)) {}
    TLangArg(const std::string& Text) : FValue(QString::fromStdString(Text)) {}
    template <std::integral T>
    TLangArg(T Number) : FValue(static_cast<long long>(Number)) {}
    template <std::floating_point T>
    TLangArg(T Number) : FValue(static_cast<double>(Number)) {}

    QString Text() const;
    long long Integer() const;
    double Real() const;

private:
    std::variant<QString, long long, double> FValue;
};

// Pattern with its placeholders filled from Args in order: %s a text, %d an
// integer, %.Nd an integer of at least N digits with leading zeros, %.Nf a
// number with N decimals and the decimal separator of the process's numeric
// locale (LC_ALL, then LC_NUMERIC, then LANG), %% a percent sign. A
// placeholder without its argument is left empty; an argument of another
// kind is converted; anything else after "%" is kept as it stands.
QString FormatUpgraderText(const QString& Pattern, std::initializer_list<TLangArg> Args);

// Message k of the current language with its placeholders filled.
template <typename... A>
QString LangFmt(int k, const A&... Args)
{
    return FormatUpgraderText(LangStr(k), {TLangArg(Args)...});
}
