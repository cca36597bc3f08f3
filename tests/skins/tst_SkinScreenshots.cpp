// Screenshots of the stand-in windows in every skin, for a person to judge
// (written under the build folder, never committed), and the checks that
// the designed controls hold their Chinese texts at the scale in force.

#include "SkinMock.h"
#include "skins/sHintManager.h"
#include "skins/sSkinManager.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolTip>
#include <QtTest>

#include <memory>

class TestSkinScreenshots : public QObject {
    Q_OBJECT
private:
    TsSkinManager Skins;
    TsHintManager Hints{Skins};
    QDir Folder;

    void Save(const QPixmap& shot, const QString& skin, const char* what)
    {
        const QString name = skin.section(QLatin1Char(' '), 0, 0) + QLatin1Char('-') + QLatin1String(what) + ".png";
        QVERIFY(shot.save(Folder.filePath(name)));
    }

    // A corner magnified three times, pixel for pixel, to judge the edges.
    void SaveZoom(const QPixmap& shot, const QRect& logical, const QString& skin, const char* what)
    {
        const qreal ratio = shot.devicePixelRatio();
        const QRect device(QPointF(logical.topLeft()) .toPoint() * ratio, logical.size() * ratio);
        QPixmap crop = shot.copy(device);
        crop.setDevicePixelRatio(1);
        Save(crop.scaled(crop.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation), skin, what);
    }

private slots:
    void initTestCase()
    {
        const qreal ratio = qApp->devicePixelRatio();
        Folder.setPath(QStringLiteral(SKIN_SCREENSHOTS "/") + (ratio > 1 ? QStringLiteral("150") : QStringLiteral("100")));
        QVERIFY(Folder.mkpath(QStringLiteral(".")));
        Skins.Loaded();
        Hints.Loaded();
    }

    void eachSkin_data()
    {
        QTest::addColumn<QString>("skin");
        for (const QString& name : Skins.SkinNames())
            QTest::newRow(qPrintable(name)) << name;
    }

    void eachSkin()
    {
        QFETCH(QString, skin);
        Skins.SetSkinName(skin);

        TSkinMockMainForm form;
        form.move(10, 10);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QPixmap main = form.grab();
        Save(main, skin, "main");
        SaveZoom(main, QRect(250, 0, 130, 72), skin, "zoom-top");
        SaveZoom(main, QRect(0, form.height() - 30, 230, 30), skin, "zoom-status");

        // Nothing of the design clips: buttons and tabs hold their captions.
        for (QPushButton* button : {form.bbtnFind, form.bbtnUpdate}) {
            const int text = button->fontMetrics().horizontalAdvance(button->text());
            QVERIFY2(text + 8 <= button->width(), qPrintable(button->text()));
            QVERIFY(button->fontMetrics().height() <= button->height() - 4);
        }
        QTabBar* tabs = form.pcMain->tabBar();
        QCOMPARE(tabs->count(), 9);
        QVERIFY2(tabs->tabRect(8).right() < form.pcMain->width(), "all nine tabs are in view");
        for (int i = 0; i < tabs->count(); ++i)
            QVERIFY(tabs->tabRect(i).width() >= tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)) + 8);
        QVERIFY(form.etCargao->fontMetrics().height() <= form.etCargao->height() - 2);

        TSkinMockDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Save(dialog.grab(), skin, "dialog");

        QMessageBox box(QMessageBox::Critical, QStringLiteral("Shopscope"), QStringLiteral("请输入搜索商品."),
                        QMessageBox::Ok);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        Save(box.grab(), skin, "messagebox");

        std::unique_ptr<QMenu> menu(NewSkinMockMenu(nullptr));
        menu->popup(QPoint(40, 40));
        QVERIFY(QTest::qWaitForWindowExposed(menu.get()));
        menu->setActiveAction(menu->actions().at(2));
        Save(menu->grab(), skin, "menu");

        // The hint, whose look is the hint manager's whatever the skin.
        form.sLabel1->setToolTip(QStringLiteral("选产品型号等关键词"));
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), form.sLabel1->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(form.sLabel1, &help);
        QWidget* tip = nullptr;
        QTRY_VERIFY((tip = [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->inherits("QTipLabel") && w->isVisible())
                    return w;
            return static_cast<QWidget*>(nullptr);
        }()));
        Save(tip->grab(), skin, "hint");
        QToolTip::hideText();
    }
};

QTEST_MAIN(TestSkinScreenshots)
#include "tst_SkinScreenshots.moc"
