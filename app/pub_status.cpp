#include "app/pub_status.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

QPointer<TFpub_status> Fpub_status;

TFpub_status::TFpub_status(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("Fpub_status"));
    setFixedSize(386, 63);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    font.setBold(true);
    Label1->setFont(font);
    Label1->setStyleSheet(QStringLiteral("color: black"));
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
        // The dispatch that follows runs on this thread: paint now, the
        // window first and then its label, or the popup would stay blank.
        Fpub_status->repaint();
        Fpub_status->Label1->repaint();
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
