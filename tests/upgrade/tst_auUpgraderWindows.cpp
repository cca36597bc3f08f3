// The newer-version window and the error boxes with real widgets: texts in
// the current language, the fitted height, and every way of answering them.

#include "ModalAnswer.h"

#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderLang.h"
#include "upgrade/auUpgraderUpgradeMsg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace {

struct TBoxSeen {
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
    Qt::TextFormat Format = Qt::AutoText;
    bool Answered = false;
};

// What the box showed; answered with OK.
TBoxSeen SeenBox(const std::function<void()>& Show)
{
    TBoxSeen seen;
    const TModalAnswer<QMessageBox> answer([&seen](QMessageBox* box) {
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->textFormat()};
        box->button(QMessageBox::Ok)->click();
    });
    Show();
    seen.Answered = answer.Answered();
    return seen;
}

enum TAnswer { ClickYes, PressEnter, PressEscape, ClickLater, CloseWindow, DestroyWindow };

struct TFormSeen {
    QString Caption;
    QString Label;
    QString Yes;
    QString Later;
    QSize Client;
    QSize MinimumSize;
    QSize MaximumSize;
    QRect LabelRect;
    int LabelHeightForWidth = 0;
    int WrappedTextHeight = 0;
    int LineHeight = 0;
    QRect BottomPanel;
    QRect YesRect;
    QRect LaterRect;
    bool YesIsDefault = false;
    bool Topmost = false;
    bool IsTheForm = false;
    bool Result = false;
    bool Answered = false;
};

TFormSeen ShowAndAnswer(const QString& Message, TAnswer Answer)
{
    TFormSeen seen;
    const TModalAnswer<TauUpgraderUpgradeMessageForm> answer([&seen, Answer](TauUpgraderUpgradeMessageForm* form) {
        seen.Caption = form->windowTitle();
        seen.Label = form->Label1->text();
        seen.Yes = form->YesBtn->text();
        seen.Later = form->LaterBtn->text();
        seen.Client = form->size();
        seen.MinimumSize = form->minimumSize();
        seen.MaximumSize = form->maximumSize();
        seen.LabelRect = form->Label1->geometry();
        seen.LabelHeightForWidth = form->Label1->heightForWidth(form->Label1->width());
        const QFontMetrics metrics(form->Label1->font());
        seen.WrappedTextHeight =
            metrics.boundingRect(QRect(0, 0, form->Label1->width(), 100000), Qt::TextWordWrap, seen.Label).height();
        seen.LineHeight = metrics.height();
        seen.BottomPanel = form->BottomPanel->geometry();
        seen.YesRect = form->YesBtn->geometry();
        seen.LaterRect = form->LaterBtn->geometry();
        seen.YesIsDefault = form->YesBtn->isDefault();
        seen.Topmost = form->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        seen.IsTheForm = UpgradeMessageForm() == form;
        switch (Answer) {
        case ClickYes:
            form->YesBtn->click();
            break;
        case PressEnter:
            QTest::keyClick(form, Qt::Key_Return);
            break;
        case PressEscape:
            QTest::keyClick(form, Qt::Key_Escape);
            break;
        case ClickLater:
            form->LaterBtn->click();
            break;
        case CloseWindow:
            form->close();
            break;
        case DestroyWindow:
            DestroyUpgradeMessageForm();
            break;
        }
    });
    seen.Result = ShowUpgradeMessage(Message);
    seen.Answered = answer.Answered();
    return seen;
}

} // namespace

class TestUpgraderWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void errorBoxes_data();
    void errorBoxes();
    void errorTextIsPlain();
    void answers_data();
    void answers();
    void texts_data();
    void texts();
    void layout_data();
    void layout();
    void longMessageGrowsDown();
    void designEnvironmentTitle();
};

void TestUpgraderWindows::initTestCase()
{
    QApplication::setApplicationDisplayName(QStringLiteral("Shopscope"));
}

void TestUpgraderWindows::errorBoxes_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");

    QTest::newRow("English, no update")
        << int(wlEnglish) << 24 << QStringLiteral("Application update wizard")
        << QStringLiteral("Newer version not found. You actually are\nusing most recent version of this program.");
    QTest::newRow("English, no info file")
        << int(wlEnglish) << 25 << QStringLiteral("Application update wizard")
        << QStringLiteral("File which contains upgrade information was not found on developer's site.");
    QTest::newRow("Chinese, no update") << int(wlChineseSimplified) << 24 << QStringLiteral("软件升级精灵")
                                        << QStringLiteral("没有发现新的版本，您目前已经是最新版本。");
    QTest::newRow("Chinese, connection lost") << int(wlChineseSimplified) << 30 << QStringLiteral("软件升级精灵")
                                              << QStringLiteral("与远端服务器的连接中断，\n\n请重新连接后再进行升级操作。");
    QTest::newRow("German, folder not writable")
        << int(wlGerman) << 31 << QStringLiteral("Upgrade Anwendungsassistent")
        << QString();
}

void TestUpgraderWindows::errorBoxes()
{
    QFETCH(int, language);
    QFETCH(int, k);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(language));
    if (text.isEmpty())
        text = ShownLines(LangStr(k));
    const TBoxSeen seen = SeenBox([k] { ShowErrorMsg(k); });
    QVERIFY(seen.Answered);
    QCOMPARE(seen.Caption, caption);
    QCOMPARE(seen.Text, text);
    QCOMPARE(seen.Icon, QMessageBox::Critical);
    QCOMPARE(seen.Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestUpgraderWindows::errorTextIsPlain()
{
    ChooseUpgraderLanguage(wlEnglish);
    const QString host = QStringLiteral("Host '<b>http://h</b>' unreachable.");
    const TBoxSeen seen = SeenBox([&host] { ShowErrorText(host); });
    QCOMPARE(seen.Text, host);
    QCOMPARE(seen.Format, Qt::PlainText);
    QCOMPARE(seen.Caption, QStringLiteral("Application update wizard"));
}

void TestUpgraderWindows::answers_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("Yes button") << int(ClickYes) << true;
    QTest::newRow("Enter") << int(PressEnter) << true;
    QTest::newRow("Escape") << int(PressEscape) << false;
    QTest::newRow("Later button") << int(ClickLater) << false;
    QTest::newRow("close button") << int(CloseWindow) << false;
    QTest::newRow("destroyed while shown") << int(DestroyWindow) << false;
}

void TestUpgraderWindows::answers()
{
    QFETCH(int, answer);
    QFETCH(bool, accepted);
    ChooseUpgraderLanguage(wlEnglish);
    const TFormSeen seen = ShowAndAnswer(QStringLiteral("first release"), static_cast<TAnswer>(answer));
    QVERIFY(seen.Answered);
    QVERIFY(seen.IsTheForm);
    QVERIFY(seen.YesIsDefault);
    QCOMPARE(seen.Result, accepted);
    // Closed means destroyed: the next offer builds a new window.
    QCOMPARE(UpgradeMessageForm(), nullptr);
}

void TestUpgraderWindows::texts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("yes");
    QTest::addColumn<QString>("later");

    QTest::newRow("English with a message")
        << int(wlEnglish) << QStringLiteral("first release") << QStringLiteral("Application update wizard")
        << QStringLiteral("A newer version of Shopscope was released.\n\nfirst release\n\n"
                          "Do you want to update your version with the latest one?")
        << QStringLiteral("&Yes") << QStringLiteral("&Later");
    QTest::newRow("English without a message")
        << int(wlEnglish) << QString() << QStringLiteral("Application update wizard")
        << QStringLiteral("A newer version of Shopscope was released.\n\nDo you want to update your version with the latest one?")
        << QStringLiteral("&Yes") << QStringLiteral("&Later");
    QTest::newRow("Chinese with a message")
        << int(wlChineseSimplified) << QStringLiteral("两个商店搜索得更快。\r\n启动更快。") << QStringLiteral("软件升级精灵")
        << QStringLiteral("Shopscope已经有新版本推出，\n\n两个商店搜索得更快。\n启动更快。\n\n您要升级到新版本吗？")
        << QStringLiteral("开始升级") << QStringLiteral("以后再说");
    QTest::newRow("markup stays text") << int(wlEnglish) << QStringLiteral("<b>bold</b>")
                                       << QStringLiteral("Application update wizard")
                                       << QStringLiteral("A newer version of Shopscope was released.\n\n<b>bold</b>\n\n"
                                                         "Do you want to update your version with the latest one?")
                                       << QStringLiteral("&Yes") << QStringLiteral("&Later");
}

void TestUpgraderWindows::texts()
{
    QFETCH(int, language);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    QFETCH(QString, label);
    QFETCH(QString, yes);
    QFETCH(QString, later);
    ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(language));
    const TFormSeen seen = ShowAndAnswer(message, ClickLater);
    QCOMPARE(seen.Caption, caption);
    QCOMPARE(seen.Label, label);
    QCOMPARE(seen.Yes, yes);
    QCOMPARE(seen.Later, later);
    QVERIFY(seen.Topmost);
}

void TestUpgraderWindows::layout_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("message");

    QString longEnglish;
    for (int i = 0; i < 60; ++i)
        longEnglish += QStringLiteral("Two stores are searched faster. ");
    QTest::newRow("English, short") << int(wlEnglish) << QStringLiteral("first release");
    QTest::newRow("English, long") << int(wlEnglish) << longEnglish;
    QTest::newRow("Chinese, long") << int(wlChineseSimplified) << QStringLiteral("两个商店搜索得更快，启动更快。").repeated(40);
}

void TestUpgraderWindows::layout()
{
    QFETCH(int, language);
    QFETCH(QString, message);
    ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(language));
    const TFormSeen seen = ShowAndAnswer(message, PressEscape);
    // Width fixed at 318; height = top of the label + its wrapped height +
    // the bottom panel, and the user cannot resize it.
    QCOMPARE(seen.Client.width(), TauUpgraderUpgradeMessageForm::ClientWidth);
    QCOMPARE(seen.MinimumSize, seen.Client);
    QCOMPARE(seen.MaximumSize, seen.Client);
    QCOMPARE(seen.LabelRect.topLeft(), QPoint(45, 5));
    QCOMPARE(seen.LabelRect.width(), 318 - 45 - 11);
    QCOMPARE(seen.LabelRect.height(), seen.LabelHeightForWidth);
    QVERIFY(seen.WrappedTextHeight <= seen.LabelRect.height());
    QCOMPARE(seen.Client.height(), 5 + seen.LabelRect.height() + 55);
    QCOMPARE(seen.BottomPanel, QRect(0, seen.Client.height() - 55, 318, 55));
    QCOMPARE(seen.YesRect, QRect(124, 19, 75, 23));
    QCOMPARE(seen.LaterRect, QRect(213, 19, 75, 23));
}

void TestUpgraderWindows::longMessageGrowsDown()
{
    ChooseUpgraderLanguage(wlEnglish);
    const TFormSeen short_ = ShowAndAnswer(QStringLiteral("first release"), PressEscape);
    const TFormSeen long_ =
        ShowAndAnswer(QStringLiteral("Two stores are searched faster. ").repeated(60), PressEscape);
    QCOMPARE(long_.Client.width(), short_.Client.width());
    // Sixty sentences cannot fit in fewer than ten wrapped lines.
    QVERIFY(long_.LabelRect.height() >= short_.LabelRect.height() + 10 * long_.LineHeight);
    QCOMPARE(long_.Client.height() - short_.Client.height(), long_.LabelRect.height() - short_.LabelRect.height());
}

void TestUpgraderWindows::designEnvironmentTitle()
{
    ChooseUpgraderLanguage(wlEnglish);
    const QString designer = UpgraderString(DesignEnvironmentStringId);
    QApplication::setApplicationDisplayName(QStringLiteral("Project1 - ") + designer);
    const TFormSeen seen = ShowAndAnswer(QString(), ClickLater);
    QApplication::setApplicationDisplayName(QStringLiteral("Shopscope"));
    QVERIFY(seen.Label.startsWith(QStringLiteral("A newer version of <AppTitle> was released.")));
}

QTEST_MAIN(TestUpgraderWindows)
#include "tst_auUpgraderWindows.moc"
