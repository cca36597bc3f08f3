// The skin style dresses every kind of window and any container given a
// section. Each control of the program's windows in each skin is checked on
// the real windows (tests/app/tst_SkinnedWindows).

#include "skins/sSkinManager.h"
#include "skins/sSkinSectionProperty.h"
#include "skins/sSkinStyle.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QtTest>

class TestSkinStyle : public QObject {
    Q_OBJECT
private slots:
    void everyKindOfWindowIsSkinned()
    {
        // The rules on, a window, a dialog and a message box need no section
        // of their own: the style paints their backgrounds as FORM and DIALOG.
        TsSkinManager manager;
        manager.Loaded();
        const TSkinData& skin = *manager.CurrentSkin();
        QWidget form;
        form.resize(320, 200);
        auto* panel = new QWidget(&form);
        panel->setGeometry(0, 0, 320, 41);
        SetSkinSection(panel, QStringLiteral("PANEL"));
        QDialog dialog;
        dialog.resize(240, 120);
        form.show();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto* style = qobject_cast<const TsSkinStyle*>(QApplication::style());
        QCOMPARE(style->SectionFor(&form, {}), skin.Section("FORM"));
        QCOMPARE(style->SectionFor(&dialog, {}), skin.Section("DIALOG"));
        QCOMPARE(style->SectionFor(panel, {}), skin.Section("PANEL"));
        // Away from the texture's spots, the dialog's corner is its fill.
        const QImage image = dialog.grab().toImage();
        const QColor top = FillColourAt(skin.Section("DIALOG")->Fill, 0.5 / dialog.height());
        int matching = 0;
        for (int x = 0; x < 24; ++x)
            matching += std::abs(image.pixelColor(x, 0).green() - top.green()) <= 8;
        QVERIFY2(matching >= 12, qPrintable(QString::number(matching)));

        QMessageBox box(QMessageBox::Critical, QStringLiteral("Shopscope"), QStringLiteral("请输入搜索商品."));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(style->SectionFor(&box, {}), skin.Section("DIALOG"));
        QVERIFY(box.grab().toImage() != QImage());

        manager.SetSkinningRules(srThirdParty);
        style = qobject_cast<const TsSkinStyle*>(QApplication::style());
        QVERIFY(!style->SectionFor(&form, {}));
        QVERIFY(!qobject_cast<const TsSkinStyle*>(QApplication::style())->SectionFor(&dialog, {}));
        manager.SetActive(false);
    }

    void sectionSetOnAShownWidgetTakesEffect()
    {
        TsSkinManager manager;
        manager.Loaded();
        const TSkinData& skin = *manager.CurrentSkin();
        QWidget window;
        window.resize(200, 60);
        auto* bar = new QWidget(&window);
        bar->setGeometry(0, 0, 200, 41);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // A plain container draws nothing of its own until it has a section.
        const QColor before = bar->grab().toImage().pixelColor(100, 20);
        SetSkinSection(bar, QStringLiteral("PANEL"));
        QCOMPARE(SkinSectionOf(bar), QStringLiteral("PANEL"));
        const QColor after = bar->grab().toImage().pixelColor(100, 20);
        const QColor expected = FillColourAt(skin.Section("PANEL")->Fill, 20.5 / 41);
        QVERIFY(before != after);
        QVERIFY2(std::abs(after.green() - expected.green()) <= 8 && std::abs(after.red() - expected.red()) <= 8,
                 qPrintable(after.name() + QLatin1Char(' ') + expected.name()));
        manager.SetActive(false);
    }
};

QTEST_MAIN(TestSkinStyle)
#include "tst_sSkinStyle.moc"
