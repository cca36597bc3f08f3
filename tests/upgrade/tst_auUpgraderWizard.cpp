// The download wizard with real widgets: its layout, its texts in English and
// Chinese, the progress figures, the finished page, and every way of closing
// it, with the question answered both ways.

#include "ModalAnswer.h"

#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderLang.h"
#include "upgrade/auUpgraderWizard.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTest>

namespace {

const QString Address = QStringLiteral("http://127.0.0.1:8080/download/new/Shopscope");

// A wizard shown for the test: it counts the aborts it is asked for, and
// notes whether the window had closed by then.
struct TWizard {
    QPointer<TauUpgraderWizardForm> Form;
    int Aborts = 0;
    bool ClosedBeforeAbort = false;

    TWizard(const TWizard&) = delete;
    TWizard& operator=(const TWizard&) = delete;
    explicit TWizard(const TauWizardAppearance& Appearance = {})
    {
        Form = ShowWizard(Appearance, [this] {
            ++Aborts;
            ClosedBeforeAbort = WizardForm() == nullptr && (!Form || !Form->isVisible());
        });
    }
    ~TWizard() { DestroyWizardForm(); }
};

// What a close question showed, and whether it has gone again.
struct TQuestionSeen {
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
    bool OverTheWizard = false;
    QPointer<QMessageBox> Box;
};

enum TRequest { ClickCancel, CaptionClose, PressEnter, PressEscape, EnterInAddress };

void Request(TauUpgraderWizardForm* Form, TRequest How)
{
    switch (How) {
    case ClickCancel:
        Form->CancelBtn->click();
        break;
    case CaptionClose:
        Form->close();
        break;
    case PressEnter:
        QTest::keyClick(Form, Qt::Key_Return);
        break;
    case PressEscape:
        QTest::keyClick(Form, Qt::Key_Escape);
        break;
    case EnterInAddress:
        QTest::mouseClick(Form->FileURL, Qt::LeftButton);
        QTest::keyClick(Form->FileURL, Qt::Key_Return);
        break;
    }
}

// Every event posted to Form before this call has been handled.
void Drain(TauUpgraderWizardForm* Form)
{
    bool drained = false;
    QMetaObject::invokeMethod(Form, [&drained] { drained = true; }, Qt::QueuedConnection);
    QTRY_VERIFY(drained);
}

} // namespace

class TestUpgraderWizard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void layout_data();
    void layout();
    void texts_data();
    void texts();
    void figures_data();
    void figures();
    void sizeKeptUntilHeaders();
    void closeQuestion_data();
    void closeQuestion();
    void finishedPage_data();
    void finishedPage();
    void finishedPageKeys_data();
    void finishedPageKeys();
    void addressField();
    void stayOnTop_data();
    void stayOnTop();
    void notModal();
    void pictures();
    void oneWizard();
    void destroyedWithoutQuestions();
    void destroyedDuringQuestion();
    void waitForWizard();
};

void TestUpgraderWizard::initTestCase()
{
    // Decimal point of the figures: the process's numeric locale.
    qputenv("LC_ALL", "C");
    QApplication::setApplicationDisplayName(QStringLiteral("Shopscope"));
}

void TestUpgraderWizard::init()
{
    ChooseUpgraderLanguage(wlEnglish);
}

void TestUpgraderWizard::cleanup()
{
    DestroyWizardForm();
    QCOMPARE(WizardForm(), nullptr);
}

void TestUpgraderWizard::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("rect");

    // Positions and sizes at 96 dpi; a null size is a label that takes its
    // text's size.
    const QString form = QStringLiteral("form");
    const QString current = QStringLiteral("LCurrentFile");
    const QString all = QStringLiteral("LAllFiles");
    QTest::newRow("Panel1") << "Panel1" << form << QRect(10, 10, 120, 220);
    QTest::newRow("Image1") << "Image1" << QStringLiteral("Panel1") << QRect(1, 1, 118, 218);
    QTest::newRow("WizardTitle") << "WizardTitle" << form << QRect(136, 10, 0, 0);
    QTest::newRow("LCurrentFile") << "LCurrentFile" << form << QRect(136, 34, 319, 125);
    QTest::newRow("LDownloadingFileFrom") << "LDownloadingFileFrom" << current << QRect(6, 14, 0, 0);
    QTest::newRow("FileURL") << "FileURL" << current << QRect(10, 28, 301, 13);
    QTest::newRow("FileSizeLab") << "FileSizeLab" << current << QRect(6, 44, 0, 0);
    QTest::newRow("TransferRateLab") << "TransferRateLab" << current << QRect(6, 60, 0, 0);
    QTest::newRow("EstimatedTimeLeftLab") << "EstimatedTimeLeftLab" << current << QRect(6, 76, 0, 0);
    QTest::newRow("ProgressCurrentFile") << "ProgressCurrentFile" << current << QRect(6, 96, 307, 22);
    QTest::newRow("LAllFiles") << "LAllFiles" << form << QRect(136, 162, 319, 67);
    QTest::newRow("AllDownloading") << "AllDownloading" << all << QRect(6, 16, 0, 0);
    QTest::newRow("ProgressAllFiles") << "ProgressAllFiles" << all << QRect(6, 38, 307, 22);
    QTest::newRow("AfterNote") << "AfterNote" << form << QRect(136, 44, 319, 13);
    QTest::newRow("Bevel1") << "Bevel1" << form << QRect(10, 238, 447, 13);
    QTest::newRow("AboutShadow") << "AboutShadow" << form << QRect(31, 234, 0, 0);
    QTest::newRow("AboutLabel") << "AboutLabel" << form << QRect(30, 233, 0, 0);
    QTest::newRow("FinishBtn") << "FinishBtn" << form << QRect(296, 248, 75, 25);
    QTest::newRow("CancelBtn") << "CancelBtn" << form << QRect(380, 248, 75, 25);
}

void TestUpgraderWizard::layout()
{
    QFETCH(QString, control);
    QFETCH(QString, parent);
    QFETCH(QRect, rect);
    TWizard wizard;
    TauUpgraderWizardForm* form = wizard.Form;
    const QHash<QString, QWidget*> controls = {
        {QStringLiteral("form"), form},
        {QStringLiteral("Panel1"), form->Panel1},
        {QStringLiteral("Image1"), form->Image1},
        {QStringLiteral("WizardTitle"), form->WizardTitle},
        {QStringLiteral("LCurrentFile"), form->LCurrentFile},
        {QStringLiteral("LDownloadingFileFrom"), form->LDownloadingFileFrom},
        {QStringLiteral("FileURL"), form->FileURL},
        {QStringLiteral("FileSizeLab"), form->FileSizeLab},
        {QStringLiteral("TransferRateLab"), form->TransferRateLab},
        {QStringLiteral("EstimatedTimeLeftLab"), form->EstimatedTimeLeftLab},
        {QStringLiteral("ProgressCurrentFile"), form->ProgressCurrentFile},
        {QStringLiteral("LAllFiles"), form->LAllFiles},
        {QStringLiteral("AllDownloading"), form->AllDownloading},
        {QStringLiteral("ProgressAllFiles"), form->ProgressAllFiles},
        {QStringLiteral("AfterNote"), form->AfterNote},
        {QStringLiteral("Bevel1"), form->Bevel1},
        {QStringLiteral("AboutShadow"), form->AboutShadow},
        {QStringLiteral("AboutLabel"), form->AboutLabel},
        {QStringLiteral("FinishBtn"), form->FinishBtn},
        {QStringLiteral("CancelBtn"), form->CancelBtn},
    };
    QWidget* widget = controls.value(control);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), controls.value(parent));
    QCOMPARE(widget->pos(), rect.topLeft());
    if (!rect.size().isEmpty())
        QCOMPARE(widget->size(), rect.size());
    // Client 463 x 281 that the user cannot resize.
    QCOMPARE(form->size(), QSize(463, 281));
    QCOMPARE(form->minimumSize(), form->size());
    QCOMPARE(form->maximumSize(), form->size());
    QVERIFY(widget->geometry().width() <= controls.value(parent)->width());
}

void TestUpgraderWizard::texts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");

    // Caption, title, the two groups, the address label, the time left
    // before any report, Next, Cancel.
    QTest::newRow("English") << int(wlEnglish)
                             << QStringList{"Application update wizard", "Downloading files...", " Current file ",
                                            " All files ", "Downloading file from", "Preparing. . .", "&Next >",
                                            "&Cancel"};
    QTest::newRow("Chinese") << int(wlChineseSimplified)
                             << QStringList{"软件升级精灵", "文档下载中", " 当前的文档 ", " 全部的文档 ", "文档下载源",
                                            "准备中", "[&N]下一个>", "[&C]取消"};
}

void TestUpgraderWizard::texts()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(language));
    TWizard wizard;
    TauUpgraderWizardForm* form = wizard.Form;
    const QStringList shown = {form->windowTitle(),           form->WizardTitle->text(),
                               form->LCurrentFile->title(),   form->LAllFiles->title(),
                               form->LDownloadingFileFrom->text(), form->EstimatedTimeLeftLab->text(),
                               form->FinishBtn->text(),       form->CancelBtn->text()};
    QCOMPARE(shown, texts);
    QCOMPARE(form->AboutLabel->text(), QStringLiteral(" Upgrader "));
    QCOMPARE(form->AboutShadow->text(), QStringLiteral(" Upgrader "));
    QCOMPARE(form->FileSizeLab->text(), QString());
    QCOMPARE(form->AfterNote->text(), QString());
    QVERIFY(form->isVisible());
    QVERIFY(!form->FinishBtn->isEnabled());
    QVERIFY(form->CancelBtn->isEnabled());
    QVERIFY(form->CancelBtn->isDefault());
    QCOMPARE(form->ProgressCurrentFile->minimum(), 0);
    QCOMPARE(form->ProgressCurrentFile->maximum(), 100);
    QCOMPARE(form->ProgressAllFiles->minimum(), 0);
    QCOMPARE(form->ProgressAllFiles->maximum(), 100);
    // The engraved lettering: a light copy one pixel below and right of a
    // dark one.
    QCOMPARE(form->AboutShadow->palette().color(QPalette::WindowText), form->palette().color(QPalette::Light));
    QCOMPARE(form->AboutLabel->palette().color(QPalette::WindowText), form->palette().color(QPalette::Dark));
    QVERIFY(form->AboutShadow->geometry().intersects(form->Bevel1->geometry()));
}

void TestUpgraderWizard::figures_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<int>("percents");
    QTest::addColumn<int>("total");
    QTest::addColumn<double>("rate");
    QTest::addColumn<qint64>("secondsLeft");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("rateText");
    QTest::addColumn<QString>("timeText");
    QTest::addColumn<int>("percentsShown");
    QTest::addColumn<int>("totalShown");

    QTest::newRow("1536 bytes, 3725 s") << int(wlEnglish) << qint64(1536) << 50 << 49 << 12.34 << qint64(3725)
                                        << "File size: 1.5 Kb" << "Transfer rate: 12.3 Kb/s"
                                        << "Estimated time left: 1:02:05" << 50 << 49;
    QTest::newRow("59 s") << int(wlEnglish) << qint64(1024) << 100 << 100 << 0.05 << qint64(59)
                          << "File size: 1.0 Kb" << "Transfer rate: 0.1 Kb/s" << "Estimated time left: 0:00:59"
                          << 100 << 100;
    QTest::newRow("nothing left, nothing yet") << int(wlEnglish) << qint64(0) << 0 << 0 << 0.0 << qint64(0)
                                               << "File size: 0.0 Kb" << "Transfer rate: 0.0 Kb/s"
                                               << "Estimated time left: 0:00:00" << 0 << 0;
    QTest::newRow("100 hours") << int(wlEnglish) << qint64(5'000'000'000) << 1 << 33 << 2048.0 << qint64(360'000)
                               << "File size: 4882812.5 Kb" << "Transfer rate: 2048.0 Kb/s"
                               << "Estimated time left: 100:00:00" << 1 << 33;
    // No announced length: the engine reports minus the elapsed time.
    QTest::newRow("length unknown") << int(wlEnglish) << qint64(0) << 0 << 33 << 3.5 << qint64(-75)
                                    << "File size: 0.0 Kb" << "Transfer rate: 3.5 Kb/s" << "Preparing. . ." << 0 << 33;
    QTest::newRow("out of range bars") << int(wlEnglish) << qint64(1) << 130 << -4 << 1.0 << qint64(1)
                                       << "File size: 0.0 Kb" << "Transfer rate: 1.0 Kb/s"
                                       << "Estimated time left: 0:00:01" << 100 << 0;
    QTest::newRow("Chinese") << int(wlChineseSimplified) << qint64(1536) << 50 << 49 << 12.34 << qint64(3725)
                             << "文档大小:1.5 Kb" << "传输速率:12.3 Kb/s" << "估计剩余时间: 1:02:05" << 50 << 49;
    QTest::newRow("Chinese, length unknown") << int(wlChineseSimplified) << qint64(0) << 0 << 0 << 1.0
                                             << qint64(-1) << "文档大小:0.0 Kb" << "传输速率:1.0 Kb/s" << "准备中" << 0
                                             << 0;
}

void TestUpgraderWizard::figures()
{
    QFETCH(int, language);
    QFETCH(qint64, bytes);
    QFETCH(int, percents);
    QFETCH(int, total);
    QFETCH(double, rate);
    QFETCH(qint64, secondsLeft);
    QFETCH(QString, size);
    QFETCH(QString, rateText);
    QFETCH(QString, timeText);
    QFETCH(int, percentsShown);
    QFETCH(int, totalShown);
    ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(language));
    TWizard wizard;
    TauUpgraderWizardForm* form = wizard.Form;
    form->ShowCurrentFile(Address, 2, 3);
    form->ShowFileSize(bytes);
    form->ShowProgress(percents, total, rate, secondsLeft);
    QCOMPARE(form->FileURL->text(), Address);
    QCOMPARE(form->AllDownloading->text(),
             language == wlEnglish ? QStringLiteral("Downloading 2 of 3") : QStringLiteral("当前正在下载:2 of 3"));
    QCOMPARE(form->FileSizeLab->text(), size);
    QCOMPARE(form->TransferRateLab->text(), rateText);
    QCOMPARE(form->EstimatedTimeLeftLab->text(), timeText);
    QCOMPARE(form->ProgressCurrentFile->value(), percentsShown);
    QCOMPARE(form->ProgressAllFiles->value(), totalShown);
}

void TestUpgraderWizard::sizeKeptUntilHeaders()
{
    TWizard wizard;
    TauUpgraderWizardForm* form = wizard.Form;
    form->ShowCurrentFile(Address, 1, 2);
    form->ShowFileSize(1536);
    form->ShowProgress(100, 50, 10.0, 0);
    // The next file: its size shows only once its headers arrive.
    const QString second = QStringLiteral("http://127.0.0.1:8080/download/new/读我 1.txt");
    form->ShowCurrentFile(second, 2, 2);
    QCOMPARE(form->FileURL->text(), second);
    QCOMPARE(form->AllDownloading->text(), QStringLiteral("Downloading 2 of 2"));
    QCOMPARE(form->FileSizeLab->text(), QStringLiteral("File size: 1.5 Kb"));
    form->ShowFileSize(3 * 1024 * 1024);
    QCOMPARE(form->FileSizeLab->text(), QStringLiteral("File size: 3072.0 Kb"));
}

void TestUpgraderWizard::closeQuestion_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<bool>("yes");

    QTest::newRow("Cancel button, Yes") << int(ClickCancel) << false << true;
    QTest::newRow("Cancel button, No") << int(ClickCancel) << false << false;
    QTest::newRow("caption's close button, Yes") << int(CaptionClose) << false << true;
    QTest::newRow("caption's close button, No") << int(CaptionClose) << false << false;
    QTest::newRow("Enter while downloading, Yes") << int(PressEnter) << false << true;
    QTest::newRow("Enter while downloading, No") << int(PressEnter) << false << false;
    QTest::newRow("Escape while downloading, Yes") << int(PressEscape) << false << true;
    QTest::newRow("Escape while downloading, No") << int(PressEscape) << false << false;
    // The address field passes Enter on to the default button.
    QTest::newRow("Enter in the address field, Yes") << int(EnterInAddress) << false << true;
    QTest::newRow("caption's close button on the finished page, Yes") << int(CaptionClose) << true << true;
    QTest::newRow("caption's close button on the finished page, No") << int(CaptionClose) << true << false;
}

void TestUpgraderWizard::closeQuestion()
{
    QFETCH(int, request);
    QFETCH(bool, finished);
    QFETCH(bool, yes);
    ChooseUpgraderLanguage(wlChineseSimplified);
    TWizard wizard;
    QPointer<TauUpgraderWizardForm> form = wizard.Form;
    form->ShowCurrentFile(Address, 1, 3);
    form->ShowFileSize(1536);
    form->ShowProgress(40, 13, 20.0, 30);
    if (finished)
        form->ShowFinished();
    const QString title = form->WizardTitle->text();

    TQuestionSeen seen;
    const TModalAnswer<QMessageBox> answer([&seen, &form, yes](QMessageBox* box) {
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                box->parentWidget() == form.data(), box};
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    Request(form, static_cast<TRequest>(request));
    // Gone once answered: the answer has been acted upon.
    QTRY_VERIFY(answer.Answered() && !seen.Box);

    QCOMPARE(seen.Caption, QStringLiteral("Shopscope"));
    QCOMPARE(seen.Text, QStringLiteral("升级操作尚未完成，\n您确定要放弃升级吗？"));
    QCOMPARE(seen.Icon, QMessageBox::Question);
    QCOMPARE(seen.Buttons, QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
    QVERIFY(seen.OverTheWizard);
    if (yes) {
        // Closed and emptied at once; aborted once; destroyed at the next
        // return to the event loop.
        QCOMPARE(WizardForm(), nullptr);
        QCOMPARE(wizard.Aborts, 1);
        QVERIFY(wizard.ClosedBeforeAbort);
        QTRY_VERIFY(!form);
    } else {
        QCOMPARE(wizard.Aborts, 0);
        QCOMPARE(WizardForm(), form.data());
        QVERIFY(form->isVisible());
        QCOMPARE(form->WizardTitle->text(), title);
        QCOMPARE(form->ProgressCurrentFile->value(), 40);
        QCOMPARE(form->ProgressAllFiles->value(), 13);
        QCOMPARE(form->FileSizeLab->text(), QStringLiteral("文档大小:1.5 Kb"));
        QCOMPARE(form->EstimatedTimeLeftLab->text(), QStringLiteral("估计剩余时间: 0:00:30"));
        QCOMPARE(form->CancelBtn->isEnabled(), !finished);
        // The download goes on and is shown as before.
        form->ShowProgress(60, 20, 21.0, 20);
        QCOMPARE(form->ProgressCurrentFile->value(), 60);
    }
}

void TestUpgraderWizard::finishedPage_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("ok");

    QTest::newRow("English") << int(wlEnglish) << "Upgrade completed!"
                             << "The update of Shopscope has been successfully completed.\n\n"
                                "Press the OK button to restart program."
                             << "&OK";
    QTest::newRow("Chinese") << int(wlChineseSimplified) << "升级完成！"
                             << "Shopscope 已经升级完成，\n\n请按[确定]键重新启动程序" << "[&O]确定";
}

void TestUpgraderWizard::finishedPage()
{
    QFETCH(int, language);
    QFETCH(QString, title);
    QFETCH(QString, note);
    QFETCH(QString, ok);
    ChooseUpgraderLanguage(static_cast<TauUpgraderLanguage>(language));
    TWizard wizard;
    QPointer<TauUpgraderWizardForm> form = wizard.Form;
    form->ShowFinished();
    QCOMPARE(form->WizardTitle->text(), title);
    QCOMPARE(form->AfterNote->text(), note);
    // The note grows to its three lines; its width and place stay.
    QCOMPARE(form->AfterNote->geometry().topLeft(), QPoint(136, 44));
    QCOMPARE(form->AfterNote->width(), 319);
    QVERIFY(form->AfterNote->height() >= 3 * form->AfterNote->fontMetrics().height());
    QCOMPARE(form->AfterNote->height(), form->AfterNote->heightForWidth(319));
    QVERIFY(form->AfterNote->isVisible());
    QVERIFY(!form->LCurrentFile->isVisible());
    QVERIFY(!form->LAllFiles->isVisible());
    QVERIFY(!form->ProgressCurrentFile->isVisible());
    QVERIFY(!form->FileURL->isVisible());
    QVERIFY(!form->CancelBtn->isEnabled());
    QVERIFY(form->FinishBtn->isEnabled());
    QCOMPARE(form->FinishBtn->text(), ok);
    QCOMPARE(form->focusWidget(), form->FinishBtn);

    // OK closes without a question; the upgrade goes on, nothing aborted.
    const TModalAnswer<QMessageBox> question([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    form->FinishBtn->click();
    QCOMPARE(WizardForm(), nullptr);
    QTRY_VERIFY(!form);
    QVERIFY(!question.Answered());
    QCOMPARE(wizard.Aborts, 0);
}

void TestUpgraderWizard::finishedPageKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");

    QTest::newRow("Enter presses OK") << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter presses OK") << int(Qt::Key_Enter) << true;
    QTest::newRow("Escape does nothing") << int(Qt::Key_Escape) << false;
}

void TestUpgraderWizard::finishedPageKeys()
{
    QFETCH(int, key);
    QFETCH(bool, closes);
    TWizard wizard;
    QPointer<TauUpgraderWizardForm> form = wizard.Form;
    form->ShowFinished();
    const TModalAnswer<QMessageBox> question([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    QTest::keyClick(form->focusWidget(), static_cast<Qt::Key>(key));
    if (closes) {
        QTRY_VERIFY(!form);
    } else {
        // A question, had one been asked, would have been posted before this.
        Drain(form);
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QCOMPARE(WizardForm(), form.data());
    }
    QVERIFY(!question.Answered());
    QCOMPARE(wizard.Aborts, 0);
}

void TestUpgraderWizard::addressField()
{
    TWizard wizard;
    TauUpgraderWizardForm* form = wizard.Form;
    form->ShowCurrentFile(Address, 1, 1);
    QLineEdit* field = form->FileURL;
    QVERIFY(field->isReadOnly());
    QVERIFY(!field->hasFrame());
    QCOMPARE(field->focusPolicy(), Qt::ClickFocus);
    // Borderless on the surface it lies on, as on a plain button-face box.
    QCOMPARE(field->palette().color(QPalette::Base).alpha(), 0);
    QCOMPARE(field->palette().color(QPalette::Text), form->palette().color(QPalette::Highlight));
    QCOMPARE(field->cursorPosition(), 0);

    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClicks(field, QStringLiteral("abc"));
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Delete);
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field->text(), Address);

    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(field->selectedText(), Address);
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), Address);
    QCOMPARE(field->text(), Address);
    QCOMPARE(wizard.Aborts, 0);
}

void TestUpgraderWizard::stayOnTop_data()
{
    QTest::addColumn<bool>("stayOnTop");
    QTest::newRow("topmost") << true;
    QTest::newRow("ordinary window") << false;
}

void TestUpgraderWizard::stayOnTop()
{
    QFETCH(bool, stayOnTop);
    TWizard wizard(TauWizardAppearance{stayOnTop, {}});
    QCOMPARE(wizard.Form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), stayOnTop);
    QVERIFY(wizard.Form->isVisible());
    // The same window shown again with the other setting takes it.
    ShowWizard(TauWizardAppearance{!stayOnTop, {}}, [] {});
    QCOMPARE(WizardForm(), wizard.Form.data());
    QCOMPARE(wizard.Form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), !stayOnTop);
    QVERIFY(wizard.Form->isVisible());
}

void TestUpgraderWizard::notModal()
{
    QLineEdit other;
    other.show();
    TWizard wizard;
    QCOMPARE(wizard.Form->windowModality(), Qt::NonModal);
    QVERIFY(!wizard.Form->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    // The rest of the program goes on while the wizard is up.
    other.activateWindow();
    QTest::keyClicks(&other, QStringLiteral("DSC-W55"));
    QCOMPARE(other.text(), QStringLiteral("DSC-W55"));
    QVERIFY(wizard.Form->isVisible());
}

void TestUpgraderWizard::pictures()
{
    // The default picture is ours: 118 x 218 and not one flat colour.
    const QImage ours = DefaultWizardPicture();
    QCOMPARE(ours.size(), QSize(118, 218));
    QSet<QRgb> colours;
    for (int y = 0; y < ours.height(); y += 10)
        for (int x = 0; x < ours.width(); x += 10)
            colours.insert(ours.pixel(x, y));
    QVERIFY(colours.size() > 20);
    {
        TWizard wizard;
        const QImage shown = wizard.Form->Image1->grab().toImage();
        QCOMPARE(shown.size(), QSize(118, 218));
        QCOMPARE(shown.pixel(59, 82), ours.pixel(59, 82));
    }

    // A user picture of another size is stretched over the whole control.
    QImage user(59, 109, QImage::Format_RGB32);
    user.fill(QColor(0xc0, 0x20, 0x30));
    for (int y = 0; y < user.height(); ++y)
        user.setPixel(0, y, qRgb(0, 0, 0xff));
    TWizard wizard(TauWizardAppearance{true, user});
    const QImage shown = wizard.Form->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(118, 218));
    QCOMPARE(shown.pixel(117, 217), qRgb(0xc0, 0x20, 0x30));
    QCOMPARE(shown.pixel(60, 100), qRgb(0xc0, 0x20, 0x30));
    QCOMPARE(shown.pixel(0, 0), qRgb(0, 0, 0xff));
}

void TestUpgraderWizard::oneWizard()
{
    int firstAborts = 0;
    int secondAborts = 0;
    QPointer<TauUpgraderWizardForm> first = ShowWizard({}, [&firstAborts] { ++firstAborts; });
    first->ShowCurrentFile(Address, 1, 1);
    QCOMPARE(WizardForm(), first.data());
    // Showing again fills the same window; the last abort action counts.
    TauUpgraderWizardForm* second = ShowWizard({}, [&secondAborts] { ++secondAborts; });
    QCOMPARE(second, first.data());
    QCOMPARE(second->FileURL->text(), Address);
    const QList<TauUpgraderWizardForm*> all = [] {
        QList<TauUpgraderWizardForm*> found;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<TauUpgraderWizardForm*>(widget))
                found << form;
        return found;
    }();
    QCOMPARE(all.size(), 1);

    const TModalAnswer<QMessageBox> answer([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    second->CancelBtn->click();
    QTRY_VERIFY(!first);
    QCOMPARE(firstAborts, 0);
    QCOMPARE(secondAborts, 1);
    QVERIFY(answer.Answered());
}

void TestUpgraderWizard::destroyedWithoutQuestions()
{
    TWizard wizard;
    QPointer<TauUpgraderWizardForm> form = wizard.Form;
    bool destroyed = false;
    connect(form, &QObject::destroyed, this, [&destroyed] { destroyed = true; });
    const TModalAnswer<QMessageBox> question([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    DestroyWizardForm();
    QVERIFY(destroyed);
    QVERIFY(!form);
    QCOMPARE(WizardForm(), nullptr);
    QCOMPARE(wizard.Aborts, 0);
    QVERIFY(!question.Answered());
    // Nothing to destroy: no harm.
    DestroyWizardForm();
    QCOMPARE(WizardForm(), nullptr);
}

void TestUpgraderWizard::destroyedDuringQuestion()
{
    // The upgrade fails and is stopped while the user reads the question:
    // the question goes with the window, and nothing is aborted twice.
    TWizard wizard;
    QPointer<TauUpgraderWizardForm> form = wizard.Form;
    QPointer<QMessageBox> box;
    const TModalAnswer<QMessageBox> answer([&box](QMessageBox* shown) {
        box = shown;
        DestroyWizardForm();
    });
    form->CancelBtn->click();
    QTRY_VERIFY(answer.Answered());
    QVERIFY(!form);
    QVERIFY(!box);
    QCOMPARE(WizardForm(), nullptr);
    QCOMPARE(wizard.Aborts, 0);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestUpgraderWizard::waitForWizard()
{
    // No wizard: no wait.
    WaitForWizardForm();

    TWizard wizard;
    QPointer<TauUpgraderWizardForm> form = wizard.Form;
    form->ShowFinished();
    QMetaObject::invokeMethod(
        form, [&form] { QTest::keyClick(form->FinishBtn, Qt::Key_Return); }, Qt::QueuedConnection);
    WaitForWizardForm();
    QVERIFY(!form);
    QCOMPARE(WizardForm(), nullptr);
    QCOMPARE(wizard.Aborts, 0);

    // Abandoned from the finished page: the wait ends too, after the abort.
    TWizard again;
    form = again.Form;
    form->ShowFinished();
    const TModalAnswer<QMessageBox> answer([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    QMetaObject::invokeMethod(form, [&form] { form->close(); }, Qt::QueuedConnection);
    WaitForWizardForm();
    QVERIFY(!form);
    QCOMPARE(again.Aborts, 1);
    QVERIFY(again.ClosedBeforeAbort);
}

QTEST_MAIN(TestUpgraderWizard)
#include "tst_auUpgraderWizard.moc"
