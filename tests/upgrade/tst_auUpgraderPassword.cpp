// The password window with real widgets: its texts in English and Chinese,
// the layout fitted to the prompt, every way of answering it and what each
// stores on the engine, and a protected info file fetched through the
// upgrade component with the window as its hook.

#include "ModalAnswer.h"
#include "http/HTTPEventLog.h"
#include "support/ScriptedServer.h"
#include "upgrade/auUpgrader.h"
#include "upgrade/auUpgraderLang.h"
#include "upgrade/auUpgraderPassword.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <vector>

namespace {

// The prompt as the user reads it: without the invisible break points.
QString Visible(QString Text)
{
    return Text.remove(QChar(0x200B));
}

struct TFormSeen {
    QString Caption, Prompt, UserLabel, PasswordLabel, OK, Cancel;
    QString UserStart, PasswordStart, PasswordShown;
    QLineEdit::EchoMode Echo = QLineEdit::Normal;
    QWidget* Focus = nullptr;
    QLineEdit* UserField = nullptr;
    QSize Client, MinimumSize, MaximumSize;
    QRect Label1, Image1, BottomPanel, UsernameLab, PasswordLab, UsernameEdit, PasswordEdit, OKBtn, CancelBtn;
    int PromptHeightForWidth = 0;
    QRect WrappedPrompt;
    int LineHeight = 0;
    int FontPixels = 0;
    QString FontFamily;
    bool OKIsDefault = false;
    bool IsTheWindow = false;

    explicit TFormSeen(TauUpgraderPasswordForm* f = nullptr)
    {
        if (!f)
            return;
        Caption = f->windowTitle();
        Prompt = Visible(f->Label1->text());
        UserLabel = f->UsernameLab->text();
        PasswordLabel = f->PasswordLab->text();
        OK = f->OKBtn->text();
        Cancel = f->CancelBtn->text();
        UserStart = f->UsernameEdit->text();
        PasswordStart = f->PasswordEdit->text();
        Echo = f->PasswordEdit->echoMode();
        Focus = f->focusWidget();
        UserField = f->UsernameEdit;
        Client = f->size();
        MinimumSize = f->minimumSize();
        MaximumSize = f->maximumSize();
        Label1 = f->Label1->geometry();
        Image1 = f->Image1->geometry();
        BottomPanel = f->BottomPanel->geometry();
        UsernameLab = f->UsernameLab->geometry();
        PasswordLab = f->PasswordLab->geometry();
        UsernameEdit = f->UsernameEdit->geometry();
        PasswordEdit = f->PasswordEdit->geometry();
        OKBtn = f->OKBtn->geometry();
        CancelBtn = f->CancelBtn->geometry();
        PromptHeightForWidth = f->Label1->heightForWidth(f->Label1->width());
        const QFontMetrics metrics(f->Label1->font());
        WrappedPrompt = metrics.boundingRect(QRect(0, 0, f->Label1->width(), 100000), Qt::TextWordWrap,
                                             f->Label1->text());
        LineHeight = metrics.height();
        FontPixels = f->font().pixelSize();
        FontFamily = f->font().family();
        OKIsDefault = f->OKBtn->isDefault();
        IsTheWindow = PasswordWindow() == f;
    }
};

enum TAnswer { ClickOK, EnterInUser, EnterInPassword, ClickCancel, PressEscape, CloseBox };

// Types User and Password (when not null) into the window, as a user would:
// the user name field replaced, then answers it.
void Answer(TauUpgraderPasswordForm* f, TAnswer How, const QString& User, const QString& Password)
{
    f->UsernameEdit->selectAll();
    QTest::keyClick(f->UsernameEdit, Qt::Key_Delete);
    f->UsernameEdit->insert(User);
    f->PasswordEdit->insert(Password);
    switch (How) {
    case ClickOK:
        QTest::mouseClick(f->OKBtn, Qt::LeftButton);
        break;
    case EnterInUser:
        QTest::keyClick(f->UsernameEdit, Qt::Key_Return);
        break;
    case EnterInPassword:
        QTest::keyClick(f->PasswordEdit, Qt::Key_Enter);
        break;
    case ClickCancel:
        QTest::mouseClick(f->CancelBtn, Qt::LeftButton);
        break;
    case PressEscape:
        QTest::keyClick(f->PasswordEdit, Qt::Key_Escape);
        break;
    case CloseBox:
        f->close();
        break;
    }
}

struct TShowing {
    TFormSeen Seen;
    QString PasswordShown;  // what the password field displays once typed
    bool Result = false;
    bool Answered = false;
};

// Shows the window for Engine, records it, types and answers as given.
TShowing ShowAndAnswer(TauCustomHTTP& Engine, TAnswer How, const QString& User = QString(),
                       const QString& Password = QString())
{
    TShowing showing;
    const TModalAnswer<TauUpgraderPasswordForm> answer([&](TauUpgraderPasswordForm* f) {
        showing.Seen = TFormSeen(f);
        f->PasswordEdit->insert(Password);
        showing.PasswordShown = f->PasswordEdit->displayText();
        f->PasswordEdit->clear();
        Answer(f, How, User, Password);
    });
    showing.Result = ShowPasswordWindow(Engine);
    showing.Answered = answer.Answered();
    return showing;
}

// An engine whose current address ends in File, holding earlier credentials.
struct TEngine {
    TauCustomHTTP Http;
    explicit TEngine(const std::string& File = "Upgrader.inf")
    {
        Http.SetURL("http://127.0.0.1/upgrades/" + File);
        Http.SetHTTPUsername("earlier");
        Http.SetHTTPPassword("earlier secret");
    }
};

} // namespace

class TestUpgraderPassword : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void texts_data();
    void texts();
    void answers_data();
    void answers();
    void layout_data();
    void layout();
    void longPromptGrowsDown();
    void shownAgain();
    void secondRequestWhileShown();
    void protectedInfoFile_data();
    void protectedInfoFile();

private:
    QTemporaryDir FTemp;
    TNoProxyEnvironment FNoProxy;
};

void TestUpgraderPassword::initTestCase()
{
    QVERIFY(FTemp.isValid());
    // The component clears its helper from the temporary folder: ours.
    qputenv("TMPDIR", FTemp.path().toUtf8());
}

void TestUpgraderPassword::texts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("ok");
    QTest::addColumn<QString>("cancel");

    QTest::newRow("English") << int(wlEnglish) << QStringLiteral("Enter password")
                             << QStringLiteral("Access to remote file \"Upgrader.inf\" is password protected.\n\n"
                                               "Please enter your user name and password to continue the upgrade.")
                             << QStringLiteral("User Name") << QStringLiteral("Password") << QStringLiteral("&OK")
                             << QStringLiteral("&Cancel");
    QTest::newRow("Chinese") << int(wlChineseSimplified) << QStringLiteral("请输入密码")
                             << QStringLiteral("远端的文档\"Upgrader.inf\"被密码保护，\n\n请输入帐号和密码以继续升级操作。")
                             << QStringLiteral("帐号") << QStringLiteral("密码") << QStringLiteral("[&O]确定")
                             << QStringLiteral("[&C]取消");
}

void TestUpgraderPassword::texts()
{
    QFETCH(int, language);
    QFETCH(QString, caption);
    QFETCH(QString, prompt);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, ok);
    QFETCH(QString, cancel);
    ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(language));
    TEngine engine;
    const TShowing showing = ShowAndAnswer(engine.Http, ClickCancel);
    QVERIFY(showing.Answered);
    QCOMPARE(showing.Seen.Caption, caption);
    QCOMPARE(showing.Seen.Prompt, prompt);
    QCOMPARE(showing.Seen.UserLabel, user);
    QCOMPARE(showing.Seen.PasswordLabel, password);
    QCOMPARE(showing.Seen.OK, ok);
    QCOMPARE(showing.Seen.Cancel, cancel);
}

void TestUpgraderPassword::answers_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("confirmed");

    QTest::newRow("OK button") << int(ClickOK) << QStringLiteral("alice") << QStringLiteral("s3cret") << true;
    QTest::newRow("Enter in the user name") << int(EnterInUser) << QStringLiteral("alice") << QStringLiteral("pw")
                                            << true;
    QTest::newRow("Enter in the password") << int(EnterInPassword) << QStringLiteral("bob")
                                           << QStringLiteral("p w:x") << true;
    QTest::newRow("OK with both empty") << int(ClickOK) << QString() << QString() << true;
    QTest::newRow("OK, Chinese name") << int(ClickOK) << QStringLiteral("张三") << QStringLiteral("密码1")
                                      << true;
    QTest::newRow("Cancel button") << int(ClickCancel) << QStringLiteral("alice") << QStringLiteral("pw") << false;
    QTest::newRow("Escape") << int(PressEscape) << QStringLiteral("alice") << QStringLiteral("pw") << false;
    QTest::newRow("close box") << int(CloseBox) << QStringLiteral("alice") << QStringLiteral("pw") << false;
}

void TestUpgraderPassword::answers()
{
    QFETCH(int, how);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, confirmed);
    ChooseUpgraderLanguage(wlEnglish);
    TEngine engine;
    const TShowing showing = ShowAndAnswer(engine.Http, static_cast<TAnswer>(how), user, password);
    QVERIFY(showing.Answered);
    QVERIFY(showing.Seen.IsTheWindow);
    // It starts with the engine's user name and an empty, masked password.
    QCOMPARE(showing.Seen.UserStart, QStringLiteral("earlier"));
    QCOMPARE(showing.Seen.PasswordStart, QString());
    QCOMPARE(showing.Seen.Focus, static_cast<QWidget*>(showing.Seen.UserField));
    QCOMPARE(showing.Seen.Echo, QLineEdit::Password);
    QCOMPARE(showing.PasswordShown, QString(password.size(), u'*'));

    QCOMPARE(showing.Result, confirmed);
    if (confirmed) {
        QCOMPARE(engine.Http.HTTPUsername(), user.toStdString());
        QCOMPARE(engine.Http.HTTPPassword(), password.toStdString());
    } else {
        QCOMPARE(engine.Http.HTTPUsername(), std::string("earlier"));
        QCOMPARE(engine.Http.HTTPPassword(), std::string("earlier secret"));
    }
    // Closed means destroyed: the next request builds a new window.
    QCOMPARE(PasswordWindow(), nullptr);
}

void TestUpgraderPassword::layout_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<std::string>("file");

    QTest::newRow("English, short name") << int(wlEnglish) << std::string("Upgrader.inf");
    QTest::newRow("English, long name without spaces") << int(wlEnglish) << std::string(300, 'x') + ".exe";
    QTest::newRow("English, long name with spaces")
        << int(wlEnglish) << std::string("Shopscope update ").append(std::string("part ").append(60, 'p')) + ".zip";
    QTest::newRow("Chinese, long name") << int(wlChineseSimplified) << std::string("升级文件").append("升级文件升级文件升级文件升级文件升级文件") + ".exe";
}

void TestUpgraderPassword::layout()
{
    QFETCH(int, language);
    QFETCH(std::string, file);
    ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(language));
    TEngine engine(file);
    const TShowing showing = ShowAndAnswer(engine.Http, PressEscape);
    const TFormSeen& s = showing.Seen;
    QVERIFY(showing.Answered);
    // The width is fixed at 297; the height is the top of the prompt, its
    // wrapped height and the bottom panel, and the user cannot resize it.
    QCOMPARE(s.Client.width(), TauUpgraderPasswordForm::ClientWidth);
    QCOMPARE(s.MinimumSize, s.Client);
    QCOMPARE(s.MaximumSize, s.Client);
    QCOMPARE(s.Label1.topLeft(), QPoint(45, 5));
    QCOMPARE(s.Label1.width(), 297 - 45 - 11);
    QCOMPARE(s.Label1.height(), s.PromptHeightForWidth);
    // The whole prompt fits, the file name wrapped inside the width.
    QVERIFY2(s.WrappedPrompt.width() <= s.Label1.width(), qPrintable(QString::number(s.WrappedPrompt.width())));
    QVERIFY(s.WrappedPrompt.height() <= s.Label1.height());
    QVERIFY(s.Prompt.contains(QString::fromStdString(file)));
    QCOMPARE(s.Client.height(), 5 + s.Label1.height() + 98);
    QCOMPARE(s.BottomPanel, QRect(0, s.Client.height() - 98, 297, 98));
    QCOMPARE(s.Image1, QRect(7, 5, 32, 32));
    QCOMPARE(s.UsernameLab.topLeft(), QPoint(45, 14));
    QCOMPARE(s.PasswordLab.topLeft(), QPoint(45, 38));
    QCOMPARE(s.UsernameEdit, QRect(122, 10, 157, 22));
    QCOMPARE(s.PasswordEdit, QRect(122, 34, 157, 22));
    QCOMPARE(s.OKBtn, QRect(114, 68, 75, 23));
    QCOMPARE(s.CancelBtn, QRect(204, 68, 75, 23));
    QVERIFY(s.OKIsDefault);
    QCOMPARE(s.FontFamily, QStringLiteral("Tahoma"));
    QCOMPARE(s.FontPixels, 12);
}

void TestUpgraderPassword::longPromptGrowsDown()
{
    ChooseUpgraderLanguage(wlEnglish);
    TEngine shortName;
    TEngine longName(std::string(400, 'y') + ".exe");
    const TShowing short_ = ShowAndAnswer(shortName.Http, PressEscape);
    const TShowing long_ = ShowAndAnswer(longName.Http, PressEscape);
    QCOMPARE(long_.Seen.Client.width(), short_.Seen.Client.width());
    // 400 letters cannot wrap into fewer than ten lines of 241 pixels.
    QVERIFY(long_.Seen.Label1.height() >= short_.Seen.Label1.height() + 10 * long_.Seen.LineHeight);
    QCOMPARE(long_.Seen.Client.height() - short_.Seen.Client.height(),
             long_.Seen.Label1.height() - short_.Seen.Label1.height());
}

void TestUpgraderPassword::shownAgain()
{
    ChooseUpgraderLanguage(wlEnglish);
    TEngine engine;
    const TShowing first = ShowAndAnswer(engine.Http, ClickOK, QStringLiteral("alice"), QStringLiteral("one"));
    QVERIFY(first.Result);
    QCOMPARE(PasswordWindow(), nullptr);
    // The next showing starts from what was stored, the password empty again.
    const TShowing second = ShowAndAnswer(engine.Http, ClickCancel, QStringLiteral("mallory"), QStringLiteral("two"));
    QVERIFY(second.Answered);
    QVERIFY(second.Seen.IsTheWindow);
    QCOMPARE(second.Seen.UserStart, QStringLiteral("alice"));
    QCOMPARE(second.Seen.PasswordStart, QString());
    QVERIFY(!second.Result);
    QCOMPARE(engine.Http.HTTPUsername(), std::string("alice"));
    QCOMPARE(engine.Http.HTTPPassword(), std::string("one"));
    const TShowing third = ShowAndAnswer(engine.Http, EnterInPassword, QStringLiteral("bob"), QStringLiteral("three"));
    QVERIFY(third.Result);
    QCOMPARE(engine.Http.HTTPUsername(), std::string("bob"));
    QCOMPARE(engine.Http.HTTPPassword(), std::string("three"));
    QCOMPARE(PasswordWindow(), nullptr);
}

void TestUpgraderPassword::secondRequestWhileShown()
{
    ChooseUpgraderLanguage(wlEnglish);
    TEngine first;
    TEngine second("other.exe");
    bool secondResult = true;
    QString promptAfter;
    const TModalAnswer<TauUpgraderPasswordForm> answer([&](TauUpgraderPasswordForm* f) {
        // Another engine's request arrives while the user is typing.
        secondResult = ShowPasswordWindow(second.Http);
        promptAfter = Visible(f->Label1->text());
        Answer(f, ClickOK, QStringLiteral("alice"), QStringLiteral("pw"));
    });
    QVERIFY(ShowPasswordWindow(first.Http));
    QVERIFY(answer.Answered());
    QVERIFY(!secondResult);
    QVERIFY(promptAfter.contains(QStringLiteral("\"Upgrader.inf\"")));
    QCOMPARE(first.Http.HTTPUsername(), std::string("alice"));
    QCOMPARE(second.Http.HTTPUsername(), std::string("earlier"));
    QCOMPARE(second.Http.HTTPPassword(), std::string("earlier secret"));
    QCOMPARE(PasswordWindow(), nullptr);
}

void TestUpgraderPassword::protectedInfoFile_data()
{
    QTest::addColumn<bool>("rightOnSecondTry");
    QTest::addColumn<QStringList>("events");

    // Wrong credentials are asked for again; right ones let the check go on.
    QTest::newRow("wrong, then right")
        << true << QStringList{"PasswordRequest Upgrades", "window Upgrader.inf \"\"", "PasswordRequest Upgrades",
                               "window Upgrader.inf \"bob\"", "NoUpdateAvailable"};
    QTest::newRow("wrong, then cancelled")
        << false << QStringList{"PasswordRequest Upgrades", "window Upgrader.inf \"\"", "PasswordRequest Upgrades",
                                "window Upgrader.inf \"bob\"", "Aborted"};
}

void TestUpgraderPassword::protectedInfoFile()
{
    QFETCH(bool, rightOnSecondTry);
    QFETCH(QStringList, events);
    const std::string right = "Basic dXNlcjpzZWNyZXQ=";  // user:secret
    TScriptedServer server([&](const TTestRequest& request, TScriptedConnection& c) {
        if (request.Header("Authorization") == right)
            c.Send(TScriptedServer::Response(200, "#version=3\r\n#url=http://127.0.0.1/a.exe\r\n"));
        else
            c.Send(TScriptedServer::Response(401, "Who are you?", "WWW-Authenticate: Basic realm=\"Upgrades\""));
    });

    TauUpgrader u;
    u.Wizard().SetLanguage(wlEnglish);
    u.SetInfoFileURL(server.BaseUrl() + "/Upgrader.inf");
    u.SetVersionControl(byNumber);
    u.SetVersionNumber("3");
    u.SetProgramFolder(FTemp.path().toStdString() + "/");
    u.PasswordWindow = ShowPasswordWindow;
    QStringList seen;
    bool ended = false;
    u.OnPasswordRequest = [&](TauCustomHTTP&, const std::string& realm, bool&) {
        seen << "PasswordRequest " + QString::fromStdString(realm);
    };
    u.OnNoUpdateAvailable = [&](TauUpgrader&) {
        seen << "NoUpdateAvailable";
        ended = true;
    };
    u.OnAborted = [&](TauUpgrader&) {
        seen << "Aborted";
        ended = true;
    };

    // Answers every showing of the window in turn: first wrong credentials,
    // then the right ones or Cancel.
    int showings = 0;
    QPointer<TauUpgraderPasswordForm> answered;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, &answerer, [&] {
        auto* f = qobject_cast<TauUpgraderPasswordForm*>(QApplication::activeModalWidget());
        if (!f || f == answered)
            return;
        answered = f;
        const QString prompt = Visible(f->Label1->text());
        seen << QStringLiteral("window %1 \"%2\"")
                    .arg(prompt.contains("\"Upgrader.inf\"") ? "Upgrader.inf" : prompt, f->UsernameEdit->text());
        if (++showings == 1)
            Answer(f, ClickOK, QStringLiteral("bob"), QStringLiteral("guess"));
        else if (rightOnSecondTry)
            Answer(f, EnterInPassword, QStringLiteral("user"), QStringLiteral("secret"));
        else
            Answer(f, ClickCancel, QStringLiteral("user"), QStringLiteral("secret"));
    });
    answerer.start(5);

    QVERIFY(u.CheckForUpdate());
    QVERIFY(WaitUntil([&] { return ended && !u.InProgress() && !u.Busy(); }));
    answerer.stop();
    QCOMPARE(seen, events);

    // Every request that led to a window has been answered: the engine sent
    // no credentials first, then the ones typed into each window.
    const std::vector<TTestRequest> requests = server.Requests();
    QCOMPARE(requests.size(), std::size_t(rightOnSecondTry ? 3 : 2));
    QCOMPARE(requests[0].Header("Authorization"), std::string());
    QCOMPARE(requests[1].Header("Authorization"), std::string("Basic Ym9iOmd1ZXNz"));  // bob:guess
    if (rightOnSecondTry) {
        QCOMPARE(requests[2].Header("Authorization"), right);
        QCOMPARE(u.HTTPUsername(), std::string("user"));
        QCOMPARE(u.HTTPPassword(), std::string("secret"));
    } else {
        QCOMPARE(u.HTTPUsername(), std::string("bob"));
        QCOMPARE(u.HTTPPassword(), std::string("guess"));
    }
    for (const TTestRequest& r : requests)
        QCOMPARE(r.target, std::string("/Upgrader.inf"));
}

QTEST_MAIN(TestUpgraderPassword)
#include "tst_auUpgraderPassword.moc"
