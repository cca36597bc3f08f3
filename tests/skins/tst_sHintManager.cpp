// The hint manager's look is in force for any tooltip of the program: its
// font, its colours, an ellipse, plain text, its display time.

#include "skins/sHintManager.h"
#include "skins/sSkinManager.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QTextDocument>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

QLabel* ShownTip()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel") && w->isVisible())
            return qobject_cast<QLabel*>(w);
    return nullptr;
}

} // namespace

class TestHintManager : public QObject {
    Q_OBJECT
private:
    TsSkinManager Skins;
    TsHintManager Hints{Skins};

    std::unique_ptr<QWidget> Window;

    // Shows a label carrying Text as its tooltip and asks for the tooltip
    // as the mouse resting on the label would.
    void Hover(const QString& text, QLabel*& tip)
    {
        Window = std::make_unique<QWidget>();
        auto* label = new QLabel(QStringLiteral("商品:"), Window.get());
        label->setToolTip(text);
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(label, &help);
        QTRY_VERIFY_WITH_TIMEOUT((tip = ShownTip()), 5000);
    }

private slots:
    void initTestCase()
    {
        Skins.Loaded();
        Hints.Loaded();
    }

    void cleanup()
    {
        QToolTip::hideText();
        QTRY_VERIFY(!ShownTip());
        Window.reset();
    }

    void settingsHeld()
    {
        QCOMPARE(Hints.SkinSection(), QStringLiteral("HINT"));
        const TsHintKind& kind = Hints.HintKind();
        QCOMPARE(kind.Style, hsEllipse);
        QCOMPARE(kind.Color, QColor(Qt::black));
        QCOMPARE(kind.ColorBorderTop, QColor(Qt::black));
        QCOMPARE(kind.ColorBorderBottom, QColor(Qt::black));
        QCOMPARE(kind.Bevel, 0);
        QCOMPARE(kind.Transparency, 0);
        QCOMPARE(kind.ShadowBlur + kind.ShadowOffset + kind.ShadowTransparency, 0);
        QVERIFY(Hints.Animated());
        QVERIFY(!Hints.HTMLMode());
        QCOMPARE(Hints.PauseHide(), 5000);
        QVERIFY(QApplication::isEffectEnabled(Qt::UI_AnimateTooltip));
    }

    void tooltipsTakeTheManagersLook()
    {
        QLabel* tip = nullptr;
        Hover(QStringLiteral("选产品型号等关键词"), tip);
        if (!tip)
            return;
        QCOMPARE(tip->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(tip->font().pixelSize(), 11);
        QCOMPARE(tip->palette().color(QPalette::ToolTipBase), QColor(Qt::black));
        // The window text colour is black too; on a black hint it turns white.
        QCOMPARE(Hints.TextColour(), QColor(Qt::white));
        QCOMPARE(tip->palette().color(QPalette::ToolTipText), QColor(Qt::white));

        // An ellipse, large enough to hold the text inside its curve.
        QTRY_VERIFY(tip->size().width() > tip->sizeHint().width() * 1.4);
        const QRegion mask = tip->mask();
        QVERIFY(!mask.isEmpty());
        QVERIFY(mask.contains(tip->rect().center()));
        QVERIFY(!mask.contains(QPoint(1, 1)));
        QVERIFY(!mask.contains(QPoint(tip->width() - 2, tip->height() - 2)));
        const QImage image = tip->grab().toImage();
        QCOMPARE(image.pixelColor(tip->width() / 2, 3), QColor(Qt::black));
        bool white = false;
        for (int x = 0; x < image.width() && !white; ++x)
            white = image.pixelColor(x, image.height() / 2).lightness() > 200;
        QVERIFY2(white, "the text is drawn in white");
    }

    void markupShownAsItIs_data()
    {
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("seen");
        QTest::newRow("plain text") << false << QStringLiteral("<b>粗体</b> & <i>");
        QTest::newRow("markup mode") << true << QStringLiteral("粗体 & ");
    }

    void markupShownAsItIs()
    {
        QFETCH(bool, html);
        QFETCH(QString, seen);
        Hints.SetHTMLMode(html);
        QLabel* tip = nullptr;
        Hover(QStringLiteral("<b>粗体</b> & <i>"), tip);
        if (!tip)
            return;
        QTextDocument shown;
        shown.setHtml(tip->text());
        QCOMPARE(shown.toPlainText().trimmed(), seen.trimmed());
        Hints.SetHTMLMode(false);
    }
};

QTEST_MAIN(TestHintManager)
#include "tst_sHintManager.moc"
