#include "EnvironmentScope.h"
#include "RecordingLauncher.h"

#include "http/auUtils.h"
#include "platform/MimeAssociations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// [Default Applications] naming ids for text/html.
QString Defaults(const QString& ids)
{
    return QStringLiteral("[Default Applications]\ntext/html=%1\n").arg(ids);
}

QString Entry(const QString& exec, const QString& extra = QString())
{
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=Browser\nExec=%1\n%2").arg(exec, extra);
}

} // namespace

// The XDG folders all live in one temporary tree, laid anew for each test:
//   config/ (XDG_CONFIG_HOME), etc/ (XDG_CONFIG_DIRS), home/ (XDG_DATA_HOME),
//   share/ and mimedb/ (XDG_DATA_DIRS). mimedb/mime is the system's MIME
//   database, so that ".html" is known while no system application is.
class TestMimeAssociations : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void extensionKeys();
    void entryAsKeys();
    void verbsFromActionsOnly();
    void lookupOrder_data();
    void lookupOrder();
    void openInBrowserStartsRegisteredProgram();

private:
    void Write(const QString& relative, const QString& content);
    QString Root(const QString& relative) const { return FRoot.filePath(relative); }

    QTemporaryDir FRoot;
    std::vector<std::unique_ptr<TEnvironmentScope>> FEnvironment;
};

void TestMimeAssociations::initTestCase()
{
    QVERIFY(FRoot.isValid());
    QVERIFY(QDir().mkpath(Root(QStringLiteral("mimedb"))));
    QVERIFY(QFile::link(QStringLiteral("/usr/share/mime"), Root(QStringLiteral("mimedb/mime"))));
    auto set = [this](const char* name, std::optional<QByteArray> value) {
        FEnvironment.push_back(std::make_unique<TEnvironmentScope>(name, std::move(value)));
    };
    set("XDG_CONFIG_HOME", QFile::encodeName(Root(QStringLiteral("config"))));
    set("XDG_CONFIG_DIRS", QFile::encodeName(Root(QStringLiteral("etc"))));
    set("XDG_DATA_HOME", QFile::encodeName(Root(QStringLiteral("home"))));
    set("XDG_DATA_DIRS",
        QFile::encodeName(Root(QStringLiteral("share")) + u':' + Root(QStringLiteral("mimedb"))));
    set("XDG_CURRENT_DESKTOP", std::nullopt);
}

void TestMimeAssociations::init()
{
    for (const char* folder : {"config", "etc", "home", "share"}) {
        QDir dir(Root(QString::fromLatin1(folder)));
        QVERIFY(dir.removeRecursively());
        QVERIFY(QDir().mkpath(dir.path()));
    }
}

void TestMimeAssociations::cleanupTestCase()
{
    FEnvironment.clear();
}

void TestMimeAssociations::Write(const QString& relative, const QString& content)
{
    const QString path = Root(relative);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.toUtf8());
}

void TestMimeAssociations::extensionKeys()
{
    const TMimeAssociations registry;
    std::string type;
    QCOMPARE(registry.ReadDefault(".html", type), rrText);
    QCOMPARE(type, std::string("text/html"));
    QVERIFY(!registry.KeyExists(".no-such-extension-here"));
    // No application registered: the type's key does not exist.
    QVERIFY(!registry.KeyExists("text/html"));
}

void TestMimeAssociations::entryAsKeys()
{
    Write(QStringLiteral("config/mimeapps.list"), Defaults(QStringLiteral("shopscope-browser.desktop;")));
    Write(QStringLiteral("home/applications/shopscope-browser.desktop"),
          Entry(QStringLiteral(R"("/opt/Test Browser/browser" %u)"),
                QStringLiteral("Actions=new-window;private;missing;\n\n"
                               "[Desktop Action new-window]\nName=New Window\n"
                               "Exec=\"/opt/Test Browser/browser\" --new-window %u\n\n"
                               "[Desktop Action private]\nExec=\"/opt/Test Browser/browser\" --private %u\n")));
    const TMimeAssociations registry;
    QVERIFY(registry.KeyExists("text/html"));
    // Listed actions without a group of their own are no verbs.
    QCOMPARE(registry.SubkeyNames("text/html\\shell"), (std::vector<std::string>{"open", "new-window", "private"}));
    std::string command;
    QCOMPARE(registry.ReadDefault("text/html\\shell\\new-window\\command", command), rrText);
    QCOMPARE(command, std::string(R"("/opt/Test Browser/browser" --new-window %u)"));
    QVERIFY(!registry.KeyExists("text/html\\shell\\missing\\command"));

    std::string program;
    GetAssociatedProgram(registry, ".html", program);
    QCOMPARE(program, std::string("/opt/Test Browser/browser"));
}

void TestMimeAssociations::verbsFromActionsOnly()
{
    Write(QStringLiteral("config/mimeapps.list"), Defaults(QStringLiteral("tabbed.desktop")));
    Write(QStringLiteral("share/applications/tabbed.desktop"),
          QStringLiteral("[Desktop Entry]\nType=Application\nDBusActivatable=true\nActions=new-window;open-tab;\n"
                         "[Desktop Action new-window]\nExec=/usr/bin/tabbed --window %u\n"
                         "[Desktop Action open-tab]\nExec=/usr/bin/tabbed-tab %u\n"));
    const TMimeAssociations registry;
    QVERIFY(!registry.KeyExists("text/html\\shell\\open\\command"));
    std::string program;
    GetAssociatedProgram(registry, ".html", program);
    QCOMPARE(program, std::string("/usr/bin/tabbed-tab"));
}

void TestMimeAssociations::lookupOrder_data()
{
    QTest::addColumn<QStringList>("files");  // path, content, path, content...
    QTest::addColumn<QByteArray>("desktop");
    QTest::addColumn<QString>("program");
    const QString a = Entry(QStringLiteral("/opt/a/run %u"));
    const QString b = Entry(QStringLiteral("/opt/b/run %u"));
    QTest::newRow("config home before data dirs")
        << QStringList{"config/mimeapps.list", Defaults("a.desktop"), "share/applications/mimeapps.list",
                       Defaults("b.desktop"), "share/applications/a.desktop", a, "share/applications/b.desktop", b}
        << QByteArray() << "/opt/a/run";
    QTest::newRow("config dirs before data home")
        << QStringList{"etc/mimeapps.list", Defaults("b.desktop"), "home/applications/mimeapps.list",
                       Defaults("a.desktop"), "share/applications/a.desktop", a, "share/applications/b.desktop", b}
        << QByteArray() << "/opt/b/run";
    QTest::newRow("desktop's own list first")
        << QStringList{"config/mimeapps.list", Defaults("a.desktop"), "config/testde-mimeapps.list",
                       Defaults("b.desktop"), "share/applications/a.desktop", a, "share/applications/b.desktop", b}
        << QByteArray("GNOME:TestDE") << "/opt/b/run";
    QTest::newRow("uninstalled entry skipped")
        << QStringList{"config/mimeapps.list", Defaults("missing.desktop;b.desktop;"), "share/applications/b.desktop",
                       b}
        << QByteArray() << "/opt/b/run";
    QTest::newRow("hidden entry skipped")
        << QStringList{"config/mimeapps.list", Defaults("a.desktop;b.desktop"), "share/applications/a.desktop",
                       Entry("/opt/a/run %u", "Hidden=true\n"), "share/applications/b.desktop", b}
        << QByteArray() << "/opt/b/run";
    QTest::newRow("next list when none installed")
        << QStringList{"config/mimeapps.list", Defaults("missing.desktop"), "share/applications/mimeapps.list",
                       Defaults("a.desktop"), "share/applications/a.desktop", a}
        << QByteArray() << "/opt/a/run";
    QTest::newRow("data home entry shadows data dirs")
        << QStringList{"config/mimeapps.list", Defaults("a.desktop"), "home/applications/a.desktop",
                       Entry("/opt/a-home/run %u"), "share/applications/a.desktop", a}
        << QByteArray() << "/opt/a-home/run";
    QTest::newRow("entry in a vendor folder")
        << QStringList{"config/mimeapps.list", Defaults("vendor-web-c.desktop"),
                       "share/applications/vendor/web-c.desktop", Entry("/opt/c/run %u")}
        << QByteArray() << "/opt/c/run";
    QTest::newRow("escaped blank in Exec")
        << QStringList{"config/mimeapps.list", Defaults("a.desktop"), "share/applications/a.desktop",
                       Entry(R"(/opt/my\sbrowser/run %U)")}
        << QByteArray() << "/opt/my browser/run";
    QTest::newRow("other types only")
        << QStringList{"config/mimeapps.list", "[Default Applications]\ntext/plain=a.desktop\n",
                       "share/applications/a.desktop", a}
        << QByteArray() << "";
}

void TestMimeAssociations::lookupOrder()
{
    QFETCH(QStringList, files);
    QFETCH(QByteArray, desktop);
    QFETCH(QString, program);
    for (qsizetype i = 0; i + 1 < files.size(); i += 2)
        Write(files[i], files[i + 1]);
    const TEnvironmentScope scope("XDG_CURRENT_DESKTOP", desktop.isEmpty() ? std::nullopt : std::optional(desktop));
    std::string actual = "stale";
    GetAssociatedProgram(TMimeAssociations(), ".html", actual);
    QCOMPARE(QString::fromStdString(actual), program);
}

void TestMimeAssociations::openInBrowserStartsRegisteredProgram()
{
    Write(QStringLiteral("config/mimeapps.list"), Defaults(QStringLiteral("a.desktop")));
    Write(QStringLiteral("share/applications/a.desktop"), Entry(QStringLiteral("/opt/a/run --new-tab %u")));
    TRecordingLauncher launcher;
    OpenInBrowser("www.shopscope.cn/new.html", true, TMimeAssociations(), launcher);
    QCOMPARE(launcher.Started.size(), std::size_t{1});
    QCOMPARE(launcher.Started.front(), (std::vector<std::string>{"/opt/a/run", "http://www.shopscope.cn/new.html"}));
}

QTEST_GUILESS_MAIN(TestMimeAssociations)
#include "tst_MimeAssociations.moc"
