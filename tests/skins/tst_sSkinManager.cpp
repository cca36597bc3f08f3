// The skin manager: the built-in skins in their order, the one in force, the
// settings it holds, and skins added as data only (the test's own resources
// add a fifth skin and two faulty ones under the same prefix).

#include "skins/sSkinManager.h"
#include "skins/sSkinSectionProperty.h"
#include "skins/sSkinStyle.h"

#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QStyleFactory>
#include <QtTest>

#include <memory>

namespace {

QColor Pixel(QWidget* widget, QPoint at)
{
    return widget->grab().toImage().pixelColor(at);
}

// A window with a button, tabs and a status bar, each with its section.
class TControls : public QWidget {
public:
    TControls()
    {
        resize(480, 200);
        Button->setGeometry(8, 8, 42, 25);
        Tabs->setGeometry(0, 40, 480, 140);
        Tabs->addTab(new QWidget, QStringLiteral("京东商城"));
        Tabs->addTab(new QWidget, QStringLiteral("新蛋"));
        Status->setGeometry(0, 180, 480, 20);
        SetSkinSection(Button, QStringLiteral("BUTTON"));
        SetSkinSection(Tabs, QStringLiteral("PAGECONTROL"));
        SetSkinSection(Status, QStringLiteral("STATUSBAR"));
    }

    QPushButton* Button = new QPushButton(QStringLiteral("搜索"), this);
    QTabWidget* Tabs = new QTabWidget(this);
    QStatusBar* Status = new QStatusBar(this);
};

} // namespace

class TestSkinManager : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TsSkinManager> NewManager()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Skin left out:.*Broken")));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("Skin left out:.*Partial.*no section")));
        return std::make_unique<TsSkinManager>();
    }

private slots:
    void init()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }

    void builtInSkinsInOrderAndTheFrogInForce()
    {
        auto manager = NewManager();
        const QStringList names = manager->SkinNames();
        QCOMPARE(names.mid(0, 4), QStringList({QStringLiteral("BlueGauze (内置)"), QStringLiteral("Office12Style (内置)"),
                                               QStringLiteral("Office2007 (内置)"), QStringLiteral("TheFrog (内置)")}));
        QCOMPARE(manager->SkinName(), QStringLiteral("TheFrog (内置)"));
        // Nothing changes before the stored values are in.
        QVERIFY(!qobject_cast<TsSkinStyle*>(QApplication::style()));
        QVERIFY(!manager->CurrentSkin());
        manager->Loaded();
        const auto* style = qobject_cast<TsSkinStyle*>(QApplication::style());
        QVERIFY(style);
        QCOMPARE(style->Skin().Name, QStringLiteral("TheFrog (内置)"));
        QCOMPARE(manager->CurrentSkin()->Name, QStringLiteral("TheFrog (内置)"));
        QCOMPARE(QApplication::palette().color(QPalette::WindowText), style->Skin().Section("FORM")->Text);
    }

    void settingsHeld()
    {
        auto manager = NewManager();
        QCOMPARE(manager->SkinDirectory(), QStringLiteral("c:\\Skins"));
        QCOMPARE(manager->SkinningRules(), srStdForms | srStdDialogs | srThirdParty);
        QCOMPARE(manager->HueOffset(), 0);
        QCOMPARE(manager->Saturation(), 0);
        QVERIFY(manager->Active());
        QCOMPARE(manager->MenuSupport().IcoLineSkin, QStringLiteral("ICOLINE"));
        QVERIFY(!manager->MenuSupport().UseExtraLine);
        QCOMPARE(manager->MenuSupport().ExtraLineFontFamily, QStringLiteral("MS Sans Serif"));
        QCOMPARE(manager->MenuSupport().ExtraLineFontPixels, 11);
        QCOMPARE(manager->MenuSupport().ExtraLineWidth, 32);
    }

    void everySkinHasEverySection_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"BlueGauze (内置)", "Office12Style (内置)", "Office2007 (内置)", "TheFrog (内置)", "Pond (测试)"})
            QTest::newRow(name) << QString::fromUtf8(name);
    }

    void everySkinHasEverySection()
    {
        QFETCH(QString, name);
        auto manager = NewManager();
        const auto& skins = manager->InternalSkins();
        const auto skin = std::find_if(skins.begin(), skins.end(), [&](const TSkinData& s) { return s.Name == name; });
        QVERIFY(skin != skins.end());
        for (const QString& section : RequiredSkinSections())
            QVERIFY2(skin->Section(section), qPrintable(section));
        // What the style cannot do without.
        for (const char* section : {"FORM", "PANEL", "EDIT", "BUTTON", "PAGECONTROL", "STATUSBAR", "MENU", "ICOLINE"})
            QVERIFY2(!skin->Section(section)->Fill.isEmpty(), section);
        QVERIFY(skin->Section("BUTTON")->Text.isValid());
        QVERIFY(skin->Section("EDIT")->Border.isValid());
    }

    void fifthSkinAddedAsDataOnly()
    {
        auto manager = NewManager();
        // The faulty skins were left out (and reported); the fifth follows the four.
        QCOMPARE(manager->SkinNames().size(), 5);
        QCOMPARE(manager->SkinNames().at(4), QStringLiteral("Pond (测试)"));
        manager->SetSkinName(QStringLiteral("Pond (测试)"));
        manager->Loaded();
        TControls form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(Pixel(form.Button, QPoint(5, 12)), QColor(0xff8000));
        QCOMPARE(Pixel(form.Status, QPoint(450, 2)), QColor(0x800080));
    }

    void switchingOffGivesThePlainLookBack()
    {
        auto manager = NewManager();
        manager->Loaded();
        TControls form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QImage skinned = form.Button->grab().toImage();
        manager->SetActive(false);
        QVERIFY(!qobject_cast<TsSkinStyle*>(QApplication::style()));
        QVERIFY(!manager->CurrentSkin());
        QCOMPARE(QApplication::style()->name(), QStringLiteral("fusion"));
        QVERIFY(form.Button->grab().toImage() != skinned);
        // Tabs lose the skin's font again, and the window keeps no filter.
        QVERIFY(!form.Tabs->tabBar()->testAttribute(Qt::WA_SetFont));
        manager->SetActive(true);
        QVERIFY(form.Tabs->tabBar()->testAttribute(Qt::WA_SetFont));
        QVERIFY(form.Button->grab().toImage() == skinned);
    }

    void hueOffsetShiftsEveryColour()
    {
        auto manager = NewManager();
        manager->Loaded();
        const QColor green = manager->CurrentSkin()->Section("BUTTON")->Fill.front();
        manager->SetHueOffset(120);
        const QColor shifted = manager->CurrentSkin()->Section("BUTTON")->Fill.front();
        QCOMPARE(shifted.hsvHue(), (green.hsvHue() + 120) % 360);
        QCOMPARE(shifted.value(), green.value());
        manager->SetHueOffset(0);
        manager->SetSaturation(-100);
        QCOMPARE(manager->CurrentSkin()->Section("BUTTON")->Fill.front().hsvSaturation(), 0);
    }

    void unknownSkinGivesThePlainLook()
    {
        auto manager = NewManager();
        manager->Loaded();
        QTest::ignoreMessage(QtWarningMsg, "No skin named Nowhere");
        manager->SetSkinName(QStringLiteral("Nowhere"));
        QVERIFY(!manager->CurrentSkin());
        QVERIFY(!qobject_cast<TsSkinStyle*>(QApplication::style()));
    }
};

QTEST_MAIN(TestSkinManager)
#include "tst_sSkinManager.moc"
