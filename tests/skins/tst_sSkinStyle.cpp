// Each skin changes what the controls paint: a rendered control differs from
// the unskinned default and shows the skin's own colours at sample points.

#include "SkinMock.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinSectionProperty.h"
#include "skins/sSkinStyle.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

struct TSample {
    QWidget* Widget;
    QPoint At;
    QColor Expected;
};

// What to look at in the stand-in windows, and the colour the skin's data
// says it must have there.
using TPick = std::function<TSample(TSkinMockMainForm&, TSkinMockDialog&, QMenu&, const TSkinData&)>;

QColor At(const QList<QColor>& fill, qreal y, qreal height)
{
    return FillColourAt(fill, (y + 0.5) / height);
}

} // namespace

Q_DECLARE_METATYPE(TPick)

class TestSkinStyle : public QObject {
    Q_OBJECT
private slots:
    void controlsDrawInTheSkinsColours_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<TPick>("pick");
        const std::vector<std::pair<const char*, TPick>> parts = {
            {"button", [](TSkinMockMainForm& f, TSkinMockDialog&, QMenu&, const TSkinData& s) {
                 return TSample{f.bbtnFind, {5, 12}, At(s.Section("BUTTON")->Fill, 12, 25)};
             }},
            {"top bar", [](TSkinMockMainForm& f, TSkinMockDialog&, QMenu&, const TSkinData& s) {
                 return TSample{f.sPanel1, {584, 20}, At(s.Section("PANEL")->Fill, 20, 41)};
             }},
            {"edit border", [](TSkinMockMainForm& f, TSkinMockDialog&, QMenu&, const TSkinData& s) {
                 return TSample{f.etCargao, {0, 10}, s.Section("EDIT")->Border};
             }},
            {"selected tab", [](TSkinMockMainForm& f, TSkinMockDialog&, QMenu&, const TSkinData& s) {
                 const QRect tab = f.pcMain->tabBar()->tabRect(0);
                 const int y = tab.center().y();
                 return TSample{f.pcMain->tabBar(), {tab.left() + 4, y},
                                At(s.Section("PAGECONTROL")->SelFill, y - tab.top(), tab.height())};
             }},
            {"tab", [](TSkinMockMainForm& f, TSkinMockDialog&, QMenu&, const TSkinData& s) {
                 const QRect tab = f.pcMain->tabBar()->tabRect(2);
                 const int y = tab.center().y();
                 // Tabs behind the selected one start two pixels lower.
                 return TSample{f.pcMain->tabBar(), {tab.left() + 4, y},
                                At(s.Section("PAGECONTROL")->Fill, y - tab.top() - 2, tab.height() - 2)};
             }},
            {"status bar", [](TSkinMockMainForm& f, TSkinMockDialog&, QMenu&, const TSkinData& s) {
                 return TSample{f.StatusBar1, {450, 2}, At(s.Section("STATUSBAR")->Fill, 2, 20)};
             }},
            {"progress done", [](TSkinMockMainForm&, TSkinMockDialog& d, QMenu&, const TSkinData& s) {
                 const int y = d.Progress->height() / 2;
                 return TSample{d.Progress, {5, y}, At(s.Section("PROGRESSBAR")->SelFill, y - 2, d.Progress->height() - 4)};
             }},
            {"progress to do", [](TSkinMockMainForm&, TSkinMockDialog& d, QMenu&, const TSkinData& s) {
                 const int y = d.Progress->height() / 2;
                 return TSample{d.Progress, {d.Progress->width() - 5, y},
                                At(s.Section("PROGRESSBAR")->Fill, y, d.Progress->height())};
             }},
            {"menu icon strip", [](TSkinMockMainForm&, TSkinMockDialog&, QMenu& m, const TSkinData& s) {
                 // The strip shades from left to right across frame, margin and its width.
                 const int band = 1 + 2 + s.Section("ICOLINE")->Width;
                 const int y = m.actionGeometry(m.actions().front()).center().y();
                 return TSample{&m, {10, y}, At(s.Section("ICOLINE")->Fill, 10, band)};
             }},
            {"menu", [](TSkinMockMainForm&, TSkinMockDialog&, QMenu& m, const TSkinData& s) {
                 const int y = m.actionGeometry(m.actions().front()).center().y();
                 return TSample{&m, {m.width() - 4, y}, At(s.Section("MENU")->Fill, y, m.height())};
             }},
        };
        for (const char* skin : {"BlueGauze (内置)", "Office12Style (内置)", "Office2007 (内置)", "TheFrog (内置)"})
            for (const auto& [part, pick] : parts)
                QTest::addRow("%s %s", skin, part) << QString::fromUtf8(skin) << pick;
    }

    void controlsDrawInTheSkinsColours()
    {
        QFETCH(QString, skin);
        QFETCH(TPick, pick);

        const std::vector<TSkinData> skins = LoadSkins(QStringLiteral(":/skins"));
        const auto data = std::find_if(skins.begin(), skins.end(), [&](const TSkinData& s) { return s.Name == skin; });
        QVERIFY(data != skins.end());
        auto render = [&] {
            TSkinMockMainForm form;
            TSkinMockDialog dialog;
            std::unique_ptr<QMenu> menu(NewSkinMockMenu(nullptr));
            form.show();
            dialog.show();
            menu->popup(QPoint(20, 20));
            if (!QTest::qWaitForWindowExposed(&form) || !QTest::qWaitForWindowExposed(&dialog) ||
                !QTest::qWaitForWindowExposed(menu.get()))
                return std::pair<QImage, TSample>();
            // The keyword box shows its plain border only without the focus.
            form.bbtnUpdate->setFocus();
            const TSample sample = pick(form, dialog, *menu, *data);
            return std::pair(sample.Widget->grab().toImage(), sample);
        };

        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(QApplication::style()->standardPalette());
        const QImage plain = render().first;
        QVERIFY(!plain.isNull());

        TsSkinManager manager;
        manager.SetSkinName(skin);
        manager.Loaded();
        QVERIFY(manager.CurrentSkin());
        const auto [image, sample] = render();
        QVERIFY(!image.isNull());
        QVERIFY(image != plain);
        // Sample points are logical; at 150 % they fall on the device pixel below.
        const QColor seen = image.pixelColor((QPointF(sample.At) * image.devicePixelRatio()).toPoint());
        const auto near = [](int a, int b) { return std::abs(a - b) <= 8; };
        QVERIFY2(near(seen.red(), sample.Expected.red()) && near(seen.green(), sample.Expected.green()) &&
                     near(seen.blue(), sample.Expected.blue()),
                 qPrintable(QStringLiteral("seen %1, skin says %2").arg(seen.name(), sample.Expected.name())));
        manager.SetActive(false);
    }

    void everyKindOfWindowIsSkinned()
    {
        // The rules on, a window, a dialog and a message box need no section
        // of their own: the style paints their backgrounds as FORM and DIALOG.
        TsSkinManager manager;
        manager.Loaded();
        const TSkinData& skin = *manager.CurrentSkin();
        TSkinMockMainForm form;
        TSkinMockDialog dialog;
        form.show();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto* style = qobject_cast<const TsSkinStyle*>(QApplication::style());
        QCOMPARE(style->SectionFor(&form, {}), skin.Section("FORM"));
        QCOMPARE(style->SectionFor(&dialog, {}), skin.Section("DIALOG"));
        QCOMPARE(style->SectionFor(form.sPanel1, {}), skin.Section("PANEL"));
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
