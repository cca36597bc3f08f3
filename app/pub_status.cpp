#include "app/pub_status.h"

#include "platform/DesignFonts.h"
#include "skins/sSkinSectionProperty.h"

#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

QPointer<TFpub_status> Fpub_status;

namespace {

// How long a search waits at most for the popup to reach the screen.
constexpr int PaintWaitMs = 500;

// Ends a wait once a widget has been painted.
class TPaintWatch : public QObject {
public:
    explicit TPaintWatch(QEventLoop& loop) : FLoop(loop) {}
    bool Painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !Painted) {
            Painted = true;
            FLoop.quit();
        }
        return false;
    }

private:
    QEventLoop& FLoop;
};

// A paint straight after the first show() is thrown away: the window is not
// on the screen yet. The window system exposes it a moment later, and Qt then
// paints the window and after it the label; wait for that, briefly, serving
// no user input meanwhile.
void WaitUntilPainted(QWidget& label)
{
    QEventLoop loop;
    TPaintWatch watch(loop);
    const QPointer<QWidget> watched(&label);
    label.installEventFilter(&watch);
    QTimer::singleShot(PaintWaitMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (watched)
        watched->removeEventFilter(&watch);
}

} // namespace

TFpub_status::TFpub_status(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("Fpub_status"));
    setFixedSize(386, 63);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(DesignFont(QStringLiteral("宋体"), 12, true));
    QPalette black = Label1->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(black);
    SetSkinSection(Label1, QStringLiteral("LABEL"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Label1);
}

void ShowStatus(const QString& caption, const QString& text)
{
    if (!Fpub_status)
        Fpub_status = new TFpub_status();
    try {
        Fpub_status->setWindowTitle(caption);
        Fpub_status->Label1->setText(text);
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            Fpub_status->move(screen->availableGeometry().center() - Fpub_status->rect().center());
        Fpub_status->show();
        // The dispatch that follows runs on this thread and would leave the
        // popup blank: it must be on the screen, painted, before we return.
        WaitUntilPainted(*Fpub_status->Label1);
    } catch (...) {
        delete Fpub_status.data();
        Fpub_status = nullptr;
    }
}

void CloseStatus()
{
    if (!Fpub_status)
        return;
    Fpub_status->close();
    delete Fpub_status.data();
    Fpub_status = nullptr;
}
