// The upgrade message table walked as data, the language choice from the
// process's locale, and the filling of placeholders.

#include "http/EnvironmentScope.h"
#include "upgrade/auUpgraderLang.h"

#include <QRegularExpression>
#include <QTest>

#include <limits>
#include <optional>

namespace {

// The texts as published for English and Simplified Chinese (message 29 up
// to where the request to log in begins).
const char* const PublishedEnglish[] = {
    "Application update wizard",
    "Downloading files...",
    "Upgrade completed!",
    "Current file",
    "All files",
    "Downloading file from",
    "File size: %.1f Kb",
    "Transfer rate: %.1f Kb/s",
    "Estimated time left: %d:%.2d:%.2d",
    "Downloading %d of %d",
    "The update of %s has been successfully completed.\r\rPress the OK button to restart program.",
    "Enter password",
    "User Name",
    "Password",
    "&Yes",
    "&No",
    "&OK",
    "&Cancel",
    "&Next >",
    "&Later",
    "Warning",
    "Error",
    "Preparing. . .",
    "A newer version of %s was released.\n%s\nDo you want to update your version with the latest one?",
    "Newer version not found. You actually are\rusing most recent version of this program.",
    "File which contains upgrade information was not found on developer's site.",
    "Host %s unreachable.\r\rPlease check your Internet connection and\rtry to upgrade this software again later.",
    "The update is not completed.\rWould you like to abort upgrading?",
    "File %s not found or inaccessible.\r\rTry to skip this file and continue upgrade?",
    "Access to remote file \"%s\" is password protected.\n\n",
    "Connection with remote server lost.\r\rPlease restore connection and try to\rupgrade this software again later.",
};

const char* const PublishedChinese[] = {
    "软件升级精灵",
    "文档下载中",
    "升级完成！",
    "当前的文档",
    "全部的文档",
    "文档下载源",
    "文档大小:%.1f Kb",
    "传输速率:%.1f Kb/s",
    "估计剩余时间: %d:%.2d:%.2d",
    "当前正在下载:%d of %d",
    "%s 已经升级完成，\r\r请按[确定]键重新启动程序",
    "请输入密码",
    "帐号",
    "密码",
    "开始升级",
    "[&N]否",
    "[&O]确定",
    "[&C]取消",
    "[&N]下一个>",
    "以后再说",
    "警告",
    "错误",
    "准备中",
    "%s已经有新版本推出，\n%s\n您要升级到新版本吗？",
    "没有发现新的版本，您目前已经是最新版本。",
    "在服务器中无法找到升级的相关信息。",
    "无法与服务器%s连接。\r\r请检查您的internet设定之后再进行升级操作。",
    "升级操作尚未完成，\r您确定要放弃升级吗？",
    "文档%s找不到或者发生错误，\r\r您要忽略这个文档并且继续升级操作吗？",
    "远端的文档\"%s\"被密码保护，\n\n",
    "与远端服务器的连接中断，\r\r请重新连接后再进行升级操作。",
};

const char* const PublishedCaptions[] = {
    "Application update wizard",
    "Мастер обновления приложений",
    "Upgrade Anwendungsassistent",
    "Expert de mise à jour d'application",
    "Asistente de actualización",
    "Actualização do Software",
    "Ajudante de Atualização Aplicação",
    "Wizard di Applicazione di aggiornamento",
    "Upgrade wizard",
    "Program opdatering",
    "Programuppdateringsguide",
    "Ohjelman päivitysvelho",
    "Tarkvara uuenduse viisard",
    "Ма\u0439c\u0442ер поновлення програм",
    "Průvodce aktualizace programu",
    "Alkalmazásfrissítő varázsló",
    "Expertul de actualizare a aplicaţiei",
    "Assistent d'actualització",
    "Programa eguneratzeko laguntzailea",
    "Applikasie dateringstel",
    "軟體升級精靈",
    "软件升级精灵",
    "Wizard Pembaruan Aplikasition",
    "Wizad pengemaskini aplikasi",
    "Uppfærsla hugbúnaðar",
};

QString Message(int language, int k)
{
    return UpgraderString(LangBaseOf(static_cast<TauUpgraderLanguage>(language)) + k);
}

QStringList Placeholders(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("%(\\.\\d+)?[sdf]"));
    QStringList found;
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(text))
        found.append(match.captured());
    return found;
}

// The line breaks of a text in order, everything else dropped.
QString LineBreaks(const QString& text)
{
    QString breaks;
    for (QChar c : text)
        if (c == u'\r' || c == u'\n')
            breaks += c;
    return breaks;
}

using TEnv = std::optional<QByteArray>;

} // namespace

class TestUpgraderLang : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyMessagePresent();
    void unusedIdentifiersEmpty();
    void tableStrings();
    void captions_data();
    void captions();
    void published_data();
    void published();
    void translations_data();
    void translations();
    void languageOfLocale_data();
    void languageOfLocale();
    void explicitLanguage();
    void format_data();
    void format();
    void langFmt();
    void decimalSeparator_data();
    void decimalSeparator();
};

void TestUpgraderLang::initTestCase()
{
    // Numbers in the plain rows are formatted under C, whatever the caller
    // runs under; rows that need another locale set it themselves.
    qputenv("LC_ALL", "C");
}

void TestUpgraderLang::everyMessagePresent()
{
    for (int language = 1; language <= UpgraderLanguageCount; ++language)
        for (int k = 0; k < UpgraderMessageCount; ++k)
            QVERIFY2(!Message(language, k).isEmpty(), qPrintable(QStringLiteral("language %1, message %2").arg(language).arg(k)));
}

void TestUpgraderLang::unusedIdentifiersEmpty()
{
    for (int language = 1; language <= UpgraderLanguageCount; ++language)
        for (int k = UpgraderMessageCount; k < LanguageBlockSize; ++k)
            QVERIFY(Message(language, k).isEmpty());
    for (int id : {0, 1, 31, 40996, 42235, 42249, 42250, 65535, -1})
        QVERIFY2(UpgraderString(id).isEmpty(), qPrintable(QString::number(id)));
    QCOMPARE(LangBaseOf(wlAuto), 0);
    QCOMPARE(LangBaseOf(wlIcelandic), 42200);
}

void TestUpgraderLang::tableStrings()
{
    QCOMPARE(UpgraderString(AppTitleStringId), QStringLiteral("<AppTitle>"));
    QCOMPARE(UpgraderString(AboutStringId), QStringLiteral("Upgrader"));
    // The design environment's name is not empty (it would be found in any
    // title) and not part of this program's title.
    const QString designer = UpgraderString(DesignEnvironmentStringId);
    QVERIFY(!designer.isEmpty());
    QVERIFY(!QStringLiteral("Shopscope V1.1.610").contains(designer));
}

void TestUpgraderLang::captions_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("caption");
    for (int language = 1; language <= UpgraderLanguageCount; ++language)
        QTest::addRow("L%d", language) << language << QString::fromUtf8(PublishedCaptions[language - 1]);
}

void TestUpgraderLang::captions()
{
    QFETCH(int, language);
    QFETCH(QString, caption);
    QCOMPARE(Message(language, 0), caption);
    if (language == wlUkrainian)
        QCOMPARE(Message(language, 0).at(3), QChar(u'c'));
}

void TestUpgraderLang::published_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("text");
    for (int k = 0; k <= 30; ++k) {
        QTest::addRow("English %d", k) << int(wlEnglish) << k << QString::fromUtf8(PublishedEnglish[k]);
        QTest::addRow("Chinese %d", k) << int(wlChineseSimplified) << k << QString::fromUtf8(PublishedChinese[k]);
    }
}

void TestUpgraderLang::published()
{
    QFETCH(int, language);
    QFETCH(int, k);
    QFETCH(QString, text);
    const QString message = Message(language, k);
    if (k == 29) {
        // The request to enter user name and password follows the two breaks.
        QVERIFY(message.startsWith(text));
        QVERIFY(message.size() > text.size() + 10);
        QVERIFY(!message.mid(text.size()).contains(u'\n'));
    } else {
        QCOMPARE(message, text);
    }
}

void TestUpgraderLang::translations_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("k");
    for (int language = 1; language <= UpgraderLanguageCount; ++language)
        for (int k = 0; k < UpgraderMessageCount; ++k)
            QTest::addRow("L%d message %d", language, k) << language << k;
}

void TestUpgraderLang::translations()
{
    QFETCH(int, language);
    QFETCH(int, k);
    const QString english = Message(wlEnglish, k);
    const QString text = Message(language, k);
    QCOMPARE(Placeholders(text), Placeholders(english));
    // Simplified Chinese is published with line breaks of its own; every
    // translation of ours keeps the English ones.
    if (language != wlChineseSimplified)
        QCOMPARE(LineBreaks(text), LineBreaks(english));
    const bool hasAccelerator = english.contains(u'&');
    if (hasAccelerator && !(language == wlChineseSimplified && (k == 14 || k == 19))) {
        QCOMPARE(text.count(u'&'), 1);
        const qsizetype at = text.indexOf(u'&');
        QVERIFY(at + 1 < text.size() && text.at(at + 1).isLetterOrNumber());
    }
    if (!hasAccelerator)
        QVERIFY(!text.contains(u'&'));
    QCOMPARE(text, text.trimmed());
}

void TestUpgraderLang::languageOfLocale_data()
{
    QTest::addColumn<TEnv>("lcAll");
    QTest::addColumn<TEnv>("lcMessages");
    QTest::addColumn<TEnv>("lang");
    QTest::addColumn<int>("expected");

    const TEnv unset;
    const auto lang = [&](const char* tag, const char* value, int expected) {
        QTest::newRow(tag) << unset << unset << TEnv(value) << expected;
    };
    lang("zh_CN", "zh_CN.UTF-8", wlChineseSimplified);
    lang("zh_CN GB18030", "zh_CN.GB18030", wlChineseSimplified);
    lang("zh_TW", "zh_TW.UTF-8", wlChineseTraditional);
    lang("zh_HK", "zh_HK.UTF-8", wlChineseTraditional);
    lang("zh_MO", "zh_MO", wlChineseTraditional);
    lang("zh_SG", "zh_SG.GBK", wlChineseTraditional);
    lang("bare zh", "zh", wlChineseTraditional);
    lang("pt_BR", "pt_BR.UTF-8", wlPortugueseBrazilian);
    lang("pt_PT", "pt_PT.UTF-8", wlPortuguese);
    lang("bare pt", "pt", wlPortuguese);
    lang("ja", "ja_JP.UTF-8", wlEnglish);
    lang("C", "C", wlEnglish);
    lang("C.UTF-8", "C.UTF-8", wlEnglish);
    lang("POSIX", "POSIX", wlEnglish);
    lang("empty", "", wlEnglish);
    lang("en_US", "en_US.UTF-8", wlEnglish);
    lang("ru_RU KOI8-R", "ru_RU.KOI8-R", wlRussian);
    lang("de_AT with modifier", "de_AT.UTF-8@euro", wlGerman);
    lang("fr_CA", "fr_CA", wlFrench);
    lang("es_MX", "es_MX.UTF-8", wlSpanish);
    lang("it_IT", "it_IT", wlItalian);
    lang("nl_BE", "nl_BE", wlDutch);
    lang("da_DK", "da_DK", wlDanish);
    lang("sv_FI", "sv_FI", wlSwedish);
    lang("fi_FI", "fi_FI", wlFinnish);
    lang("et_EE", "et_EE", wlEstonian);
    lang("uk_UA", "uk_UA.UTF-8", wlUkrainian);
    lang("cs_CZ", "cs_CZ", wlCzech);
    lang("hu_HU", "hu_HU", wlHungarian);
    lang("ro_RO", "ro_RO", wlRomanian);
    lang("ca_ES valencia", "ca_ES.UTF-8@valencia", wlCatalan);
    lang("eu_ES", "eu_ES", wlBasque);
    lang("af_ZA", "af_ZA", wlAfrikaans);
    lang("id_ID", "id_ID", wlIndonesian);
    lang("ms_MY", "ms_MY", wlMalay);
    lang("is_IS", "is_IS", wlIcelandic);
    lang("no territory match by prefix", "zho_CN", wlEnglish);

    QTest::newRow("LC_ALL first") << TEnv("de_DE.UTF-8") << TEnv("fr_FR.UTF-8") << TEnv("ru_RU.UTF-8")
                                  << int(wlGerman);
    QTest::newRow("then LC_MESSAGES") << unset << TEnv("fr_FR.UTF-8") << TEnv("ru_RU.UTF-8") << int(wlFrench);
    QTest::newRow("empty ones skipped") << TEnv("") << TEnv("") << TEnv("zh_CN.UTF-8") << int(wlChineseSimplified);
    QTest::newRow("nothing set") << unset << unset << unset << int(wlEnglish);
}

void TestUpgraderLang::languageOfLocale()
{
    QFETCH(TEnv, lcAll);
    QFETCH(TEnv, lcMessages);
    QFETCH(TEnv, lang);
    QFETCH(int, expected);
    const TEnvironmentScope all("LC_ALL", lcAll);
    const TEnvironmentScope messages("LC_MESSAGES", lcMessages);
    const TEnvironmentScope language("LANG", lang);
    // Numbers and gettext's own list do not choose the language.
    const TEnvironmentScope numeric("LC_NUMERIC", QByteArray("de_DE.UTF-8"));
    const TEnvironmentScope list("LANGUAGE", QByteArray("de"));

    QCOMPARE(int(ChooseUpgraderLanguage(wlAuto)), expected);
    QCOMPARE(LangBase(), 41000 + 50 * (expected - 1));
    QCOMPARE(LangStr(0), QString::fromUtf8(PublishedCaptions[expected - 1]));
}

void TestUpgraderLang::explicitLanguage()
{
    const TEnvironmentScope all("LC_ALL", QByteArray("zh_CN.UTF-8"));
    QCOMPARE(ChooseUpgraderLanguage(wlGerman), wlGerman);
    QCOMPARE(LangBase(), 41100);
    QCOMPARE(LangStr(0), QStringLiteral("Upgrade Anwendungsassistent"));
    // The last choice holds for every text of the process.
    QCOMPARE(ChooseUpgraderLanguage(wlChineseSimplified), wlChineseSimplified);
    QCOMPARE(LangStr(14), QStringLiteral("开始升级"));
    QCOMPARE(LangStr(19), QStringLiteral("以后再说"));
    QCOMPARE(ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(200)), wlEnglish);
    QCOMPARE(LangStr(UpgraderMessageCount), QString());
}

void TestUpgraderLang::format_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("formatted");

    const auto row = [](const char* tag, const char* pattern, const char* expected, const QString& formatted) {
        QTest::newRow(tag) << QString::fromUtf8(pattern) << QString::fromUtf8(expected) << formatted;
    };
    row("%d %.2d %.2d", "%d:%.2d:%.2d", "1:02:05", FormatUpgraderText(QStringLiteral("%d:%.2d:%.2d"), {1, 2, 5}));
    row("%.2d of two digits", "%.2d", "59", FormatUpgraderText(QStringLiteral("%.2d"), {59}));
    row("%.2d of three digits", "%.2d", "123", FormatUpgraderText(QStringLiteral("%.2d"), {123}));
    row("negative %.2d", "%.2d", "-05", FormatUpgraderText(QStringLiteral("%.2d"), {-5}));
    row("smallest integer", "%d", "-9223372036854775808",
        FormatUpgraderText(QStringLiteral("%d"), {std::numeric_limits<long long>::min()}));
    row("%.1f rounds", "%.1f", "1.5", FormatUpgraderText(QStringLiteral("%.1f"), {1536 / 1024.0}));
    row("%.1f of an integer", "%.1f", "3.0", FormatUpgraderText(QStringLiteral("%.1f"), {3}));
    row("%s of UTF-8 bytes", "%s", "软件", FormatUpgraderText(QStringLiteral("%s"), {std::string("软件")}));
    row("%s of a number", "%s", "7", FormatUpgraderText(QStringLiteral("%s"), {7}));
    row("%d of a text", "%d", "42", FormatUpgraderText(QStringLiteral("%d"), {QStringLiteral("42")}));
    row("missing argument is empty", "[%s|%d]", "[a|]", FormatUpgraderText(QStringLiteral("[%s|%d]"), {"a"}));
    row("percent sign", "100%% of %d", "100% of 3", FormatUpgraderText(QStringLiteral("100%% of %d"), {3}));
    row("other % kept", "%x %", "%x %", FormatUpgraderText(QStringLiteral("%x %"), {1}));
    row("placeholder in an argument is not expanded", "%s %d", "%d 4",
        FormatUpgraderText(QStringLiteral("%s %d"), {"%d", 4}));
}

void TestUpgraderLang::format()
{
    QFETCH(QString, expected);
    QFETCH(QString, formatted);
    QCOMPARE(formatted, expected);
}

void TestUpgraderLang::langFmt()
{
    const TEnvironmentScope all("LC_ALL", QByteArray("C.UTF-8"));
    ChooseUpgraderLanguage(wlEnglish);
    QCOMPARE(LangFmt(8, 3725 / 3600, (3725 / 60) % 60, 3725 % 60), QStringLiteral("Estimated time left: 1:02:05"));
    QCOMPARE(LangFmt(8, 0, 0, 59), QStringLiteral("Estimated time left: 0:00:59"));
    QCOMPARE(LangFmt(6, 1536 / 1024.0), QStringLiteral("File size: 1.5 Kb"));
    QCOMPARE(LangFmt(9, 1, 3), QStringLiteral("Downloading 1 of 3"));
    QCOMPARE(LangFmt(23, "Shopscope", QString()),
             QStringLiteral("A newer version of Shopscope was released.\n\nDo you want to update your version with the latest one?"));
    QCOMPARE(LangFmt(26, std::string("'http://127.0.0.1'")),
             QStringLiteral("Host 'http://127.0.0.1' unreachable.\r\rPlease check your Internet connection and\r"
                            "try to upgrade this software again later."));
    ChooseUpgraderLanguage(wlChineseSimplified);
    QCOMPARE(LangFmt(8, 1, 2, 5), QStringLiteral("估计剩余时间: 1:02:05"));
    QCOMPARE(LangFmt(10, "Shopscope"), QStringLiteral("Shopscope 已经升级完成，\r\r请按[确定]键重新启动程序"));
}

void TestUpgraderLang::decimalSeparator_data()
{
    QTest::addColumn<TEnv>("lcAll");
    QTest::addColumn<TEnv>("lcNumeric");
    QTest::addColumn<TEnv>("lang");
    QTest::addColumn<QString>("expected");

    const TEnv unset;
    QTest::newRow("LC_ALL de_DE") << TEnv("de_DE.UTF-8") << unset << unset << QStringLiteral("Transfer rate: 12,3 Kb/s");
    QTest::newRow("LC_NUMERIC de_DE") << unset << TEnv("de_DE.UTF-8") << TEnv("en_US.UTF-8")
                                      << QStringLiteral("Transfer rate: 12,3 Kb/s");
    QTest::newRow("LANG fr_FR") << unset << unset << TEnv("fr_FR.UTF-8") << QStringLiteral("Transfer rate: 12,3 Kb/s");
    QTest::newRow("LC_ALL C over LC_NUMERIC") << TEnv("C") << TEnv("de_DE.UTF-8") << unset
                                              << QStringLiteral("Transfer rate: 12.3 Kb/s");
    QTest::newRow("LANG en_US") << unset << unset << TEnv("en_US.UTF-8") << QStringLiteral("Transfer rate: 12.3 Kb/s");
    QTest::newRow("nothing set") << unset << unset << unset << QStringLiteral("Transfer rate: 12.3 Kb/s");
}

void TestUpgraderLang::decimalSeparator()
{
    QFETCH(TEnv, lcAll);
    QFETCH(TEnv, lcNumeric);
    QFETCH(TEnv, lang);
    QFETCH(QString, expected);
    const TEnvironmentScope all("LC_ALL", lcAll);
    const TEnvironmentScope numeric("LC_NUMERIC", lcNumeric);
    const TEnvironmentScope language("LANG", lang);
    ChooseUpgraderLanguage(wlEnglish);
    QCOMPARE(LangFmt(7, 12.34), expected);
}

QTEST_GUILESS_MAIN(TestUpgraderLang)
#include "tst_auUpgraderLang.moc"
