#include "upgrade/auUpgraderWizard.h"

#include "platform/DesignFonts.h"
#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderLang.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadialGradient>
#include <QScreen>

#include <algorithm>

namespace {

TauUpgraderWizardForm* TheForm = nullptr;

const QString Tahoma = QStringLiteral("Tahoma");
const QString SansSerif = QStringLiteral("MS Sans Serif");
const QString TimesNewRoman = QStringLiteral("Times New Roman");

// A label at Left, Top as wide as Width, one line of its font high.
QLabel* NewLabel(QWidget* Parent, int Left, int Top, int Width)
{
    auto* label = new QLabel(Parent);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(Left, Top, Width, label->fontMetrics().height());
    return label;
}

// A group box in the look in force. The controls inside are placed from the
// top of the box, the frame's top line running through the middle of the
// caption (which is why the captions carry a blank each side).
QGroupBox* NewGroupBox(QWidget* Parent, const QRect& Rect)
{
    auto* box = new QGroupBox(Parent);
    box->setGeometry(Rect);
    return box;
}

QProgressBar* NewProgressBar(QWidget* Parent, int Left, int Top)
{
    auto* bar = new QProgressBar(Parent);
    bar->setGeometry(Left, Top, 307, 22);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

void SetTextColor(QWidget* Widget, QPalette::ColorRole Role)
{
    QPalette palette = Widget->palette();
    palette.setColor(QPalette::WindowText, palette.color(Role));
    palette.setColor(QPalette::Text, palette.color(Role));
    Widget->setPalette(palette);
}

// "h:mm:ss" of message 8; T div 3600 and the rest truncate toward zero.
QString TimeLeftText(std::int64_t T)
{
    return LangFmt(8, T / 3600, (T / 60) % 60, T % 60);
}

} // namespace

TauUpgraderWizardForm::TauUpgraderWizardForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Only the main window decides when the program ends.
    setAttribute(Qt::WA_QuitOnClose, false);
    setModal(false);
    setFont(DesignFont(Tahoma, 12));
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);
    setFixedSize(ClientWidth, ClientHeight);

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setGeometry(10, 10, PictureWidth + 2, PictureHeight + 2);
    Panel1 = panel;
    Image1 = new QLabel(Panel1);
    Image1->setGeometry(1, 1, PictureWidth, PictureHeight);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(DefaultWizardPicture(devicePixelRatioF())));

    // A single engraved line along the top of the bevel's box, in two
    // pieces either side of the engraved lettering (CutBevelLine).
    Bevel1 = new QWidget(this);
    Bevel1->setGeometry(10, 238, 447, 13);
    for (QFrame*& line : FBevelLines) {
        line = new QFrame(Bevel1);
        line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
        line->setGeometry(0, 0, Bevel1->width(), 2);
    }

    WizardTitle = new QLabel(this);
    WizardTitle->setTextFormat(Qt::PlainText);
    QFont titleFont = DesignFont(TimesNewRoman, 19);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    WizardTitle->setFont(titleFont);
    WizardTitle->setGeometry(136, 10, 319, 24);

    LCurrentFile = NewGroupBox(this, QRect(136, 34, 319, 125));
    LDownloadingFileFrom = NewLabel(LCurrentFile, 6, 14, 307);
    FileURL = new QLineEdit(LCurrentFile);
    FileURL->setGeometry(10, 28, 301, 13);
    FileURL->setFont(DesignFont(SansSerif, 12));
    FileURL->setFrame(false);
    FileURL->setTextMargins(0, 0, 0, 0);
    // Read-only keeps selection, Ctrl+C and the context menu's Copy, and
    // discards every typed character.
    FileURL->setReadOnly(true);
    FileURL->setFocusPolicy(Qt::ClickFocus);
    {
        // The field shows the surface it lies on, as a borderless field
        // in the colour of button faces does on a plain group box; a skin
        // paints its group boxes in colours of their own.
        QPalette palette = FileURL->palette();
        palette.setColor(QPalette::Base, Qt::transparent);
        palette.setColor(QPalette::Text, palette.color(QPalette::Highlight));
        FileURL->setPalette(palette);
    }
    FileSizeLab = NewLabel(LCurrentFile, 6, 44, 307);
    TransferRateLab = NewLabel(LCurrentFile, 6, 60, 307);
    EstimatedTimeLeftLab = NewLabel(LCurrentFile, 6, 76, 307);
    ProgressCurrentFile = NewProgressBar(LCurrentFile, 6, 96);

    LAllFiles = NewGroupBox(this, QRect(136, 162, 319, 67));
    AllDownloading = NewLabel(LAllFiles, 6, 16, 307);
    ProgressAllFiles = NewProgressBar(LAllFiles, 6, 38);

    AfterNote = new QLabel(this);
    AfterNote->setTextFormat(Qt::PlainText);
    AfterNote->setWordWrap(true);
    AfterNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    AfterNote->setGeometry(136, 44, 319, 13);

    // Engraved lettering: a light copy one pixel down and right under a
    // shadow-coloured one. Both are transparent, so the lettering sits on
    // the window's own background whatever the skin paints there; the
    // bevel's line stops short of it instead of being covered.
    const QFont aboutFont = DesignFont(SansSerif, 12);
    AboutShadow = new QLabel(this);
    AboutShadow->setFont(aboutFont);
    AboutShadow->setAttribute(Qt::WA_TranslucentBackground);
    SetTextColor(AboutShadow, QPalette::Light);
    AboutShadow->move(31, 234);
    AboutLabel = new QLabel(this);
    AboutLabel->setFont(aboutFont);
    AboutLabel->setAttribute(Qt::WA_TranslucentBackground);
    SetTextColor(AboutLabel, QPalette::Dark);
    AboutLabel->move(30, 233);

    FinishBtn = new QPushButton(this);
    FinishBtn->setGeometry(296, 248, 75, 25);
    FinishBtn->setEnabled(false);
    CancelBtn = new QPushButton(this);
    CancelBtn->setGeometry(380, 248, 75, 25);
    CancelBtn->setDefault(true);
    CancelBtn->setFocus();

    connect(FinishBtn, &QPushButton::clicked, this, &TauUpgraderWizardForm::FinishBtnClick);
    // Exactly the caption's close button.
    connect(CancelBtn, &QPushButton::clicked, this, &QWidget::close);
}

TauUpgraderWizardForm::~TauUpgraderWizardForm()
{
    if (TheForm == this)
        TheForm = nullptr;
}

void TauUpgraderWizardForm::Fill(const TauWizardAppearance& Appearance, std::function<void()> AbortUpgrade)
{
    FAbortUpgrade = std::move(AbortUpgrade);

    const QString about = u' ' + UpgraderString(AboutStringId) + u' ';
    AboutLabel->setText(about);
    AboutLabel->adjustSize();
    AboutShadow->setText(about);
    AboutShadow->adjustSize();
    CutBevelLine();

    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != Appearance.StayOnTop) {
        // Changing the flag recreates a shown window: show it again as it was.
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, Appearance.StayOnTop);
        if (shown)
            show();
    }

    // Ours is drawn for the screen's pixels, so it stays sharp above 100 %.
    Image1->setPixmap(QPixmap::fromImage(Appearance.Pic118x218.isNull() ? DefaultWizardPicture(devicePixelRatioF())
                                                                         : Appearance.Pic118x218));

    EstimatedTimeLeftLab->setText(LangStr(22));
    setWindowTitle(LangStr(0));
    WizardTitle->setText(LangStr(1));
    LCurrentFile->setTitle(u' ' + LangStr(3) + u' ');
    LAllFiles->setTitle(u' ' + LangStr(4) + u' ');
    LDownloadingFileFrom->setText(LangStr(5));
    FinishBtn->setText(LangStr(18));
    CancelBtn->setText(LangStr(17));
}

void TauUpgraderWizardForm::CutBevelLine()
{
    const QRect text = AboutLabel->geometry().united(AboutShadow->geometry()).translated(-Bevel1->pos());
    FBevelLines[0]->setGeometry(0, 0, std::max(0, text.left()), 2);
    FBevelLines[1]->setGeometry(text.right() + 1, 0, std::max(0, Bevel1->width() - text.right() - 1), 2);
}

void TauUpgraderWizardForm::ShowCurrentFile(const QString& Address, int Number, int Count)
{
    FileURL->setText(Address);
    // Show the start of a long address, as the user reads it.
    FileURL->setCursorPosition(0);
    AllDownloading->setText(LangFmt(9, Number, Count));
}

void TauUpgraderWizardForm::ShowFileSize(std::int64_t Bytes)
{
    FileSizeLab->setText(LangFmt(6, static_cast<double>(Bytes) / 1024.0));
}

void TauUpgraderWizardForm::ShowProgress(int PercentsDone, int TotalPercentsDone, double TransferRate,
                                         std::int64_t SecondsLeft)
{
    ProgressCurrentFile->setValue(std::clamp(PercentsDone, 0, 100));
    ProgressAllFiles->setValue(std::clamp(TotalPercentsDone, 0, 100));
    TransferRateLab->setText(LangFmt(7, TransferRate));
    // The engine reports minus the elapsed time when the file's length was
    // not announced; "0:-01:-15" would be nonsense, so the label says what
    // it said before the first report.
    EstimatedTimeLeftLab->setText(SecondsLeft < 0 ? LangStr(22) : TimeLeftText(SecondsLeft));
}

void TauUpgraderWizardForm::ShowFinished()
{
    WizardTitle->setText(LangStr(2));
    AfterNote->setText(ShownLines(LangFmt(10, ApplicationTitle())));
    AfterNote->setFixedHeight(AfterNote->heightForWidth(AfterNote->width()));
    LCurrentFile->hide();
    LAllFiles->hide();
    CancelBtn->setEnabled(false);
    FinishBtn->setText(LangStr(16));
    FinishBtn->setEnabled(true);
    FinishBtn->setDefault(true);
    FinishBtn->setFocus();
}

void TauUpgraderWizardForm::reject()
{
    if (CancelBtn->isEnabled())
        CancelBtn->click();
}

void TauUpgraderWizardForm::closeEvent(QCloseEvent* Event)
{
    if (FClosingQuietly) {
        if (TheForm == this)
            TheForm = nullptr;
        Event->accept();
        return;
    }
    Event->ignore();
    // Asked from the event loop, not from inside whoever requested the
    // close (a key handler, the window system's event).
    if (!FAsking)
        QMetaObject::invokeMethod(this, &TauUpgraderWizardForm::AskToClose, Qt::QueuedConnection);
}

void TauUpgraderWizardForm::FinishBtnClick()
{
    CloseQuietly();
}

void TauUpgraderWizardForm::AskToClose()
{
    if (FAsking)
        return;
    FAsking = true;
    const QPointer<TauUpgraderWizardForm> self(this);
    const bool yes = AskYesNo(LangStr(27), this);
    // Destroyed without a question meanwhile (the upgrade failed and was
    // stopped): nothing is left to close or abort.
    if (!self)
        return;
    FAsking = false;
    if (!yes)
        return;
    const std::function<void()> abort = FAbortUpgrade;
    CloseQuietly();
    if (abort)
        abort();
}

void TauUpgraderWizardForm::CloseQuietly()
{
    FClosingQuietly = true;
    close();
}

QImage DefaultWizardPicture(qreal Ratio)
{
    const int w = TauUpgraderWizardForm::PictureWidth;
    const int h = TauUpgraderWizardForm::PictureHeight;
    QImage image(qRound(w * Ratio), qRound(h * Ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(Ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, w * 0.35, h);
    sky.setColorAt(0.0, QColor(0x0c, 0x2a, 0x55));
    sky.setColorAt(0.55, QColor(0x1b, 0x5e, 0xa6));
    sky.setColorAt(1.0, QColor(0x5f, 0xae, 0xe3));
    p.fillRect(QRect(0, 0, w, h), sky);

    // Two soft beams of light from the top left.
    p.setPen(Qt::NoPen);
    for (const auto& [from, to, alpha] : {std::tuple{-20.0, 40.0, 22}, std::tuple{55.0, 95.0, 14}}) {
        QPainterPath beam;
        beam.moveTo(from, 0);
        beam.lineTo(to, 0);
        beam.lineTo(to + 120, h);
        beam.lineTo(from + 150, h);
        beam.closeSubpath();
        p.fillPath(beam, QColor(255, 255, 255, alpha));
    }

    // The emblem: a glass disc with an arrow pointing up.
    const QPointF centre(w / 2.0, 82);
    const double radius = 36;
    QRadialGradient glass(centre.x() - 10, centre.y() - 14, radius * 1.4);
    glass.setColorAt(0.0, QColor(255, 255, 255, 110));
    glass.setColorAt(1.0, QColor(255, 255, 255, 25));
    p.setBrush(glass);
    p.setPen(QPen(QColor(255, 255, 255, 210), 2.5));
    p.drawEllipse(centre, radius, radius);

    QPainterPath arrow;
    const double x = centre.x();
    const double y = centre.y();
    arrow.moveTo(x, y - 24);
    arrow.lineTo(x + 19, y - 3);
    arrow.lineTo(x + 7, y - 3);
    arrow.lineTo(x + 7, y + 22);
    arrow.lineTo(x - 7, y + 22);
    arrow.lineTo(x - 7, y - 3);
    arrow.lineTo(x - 19, y - 3);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.fillPath(arrow.translated(1.5, 2), QColor(0, 20, 60, 90));
    QLinearGradient white(0, y - 24, 0, y + 22);
    white.setColorAt(0.0, Qt::white);
    white.setColorAt(1.0, QColor(0xd6, 0xea, 0xfa));
    p.fillPath(arrow, white);

    // Gentle waves along the bottom.
    for (int i = 0; i < 3; ++i) {
        const double base = h - 52 + i * 15;
        QPainterPath wave;
        wave.moveTo(0, base);
        wave.cubicTo(w * 0.3, base - 14, w * 0.6, base + 12, w, base - 4);
        wave.lineTo(w, h);
        wave.lineTo(0, h);
        wave.closeSubpath();
        p.fillPath(wave, QColor(255, 255, 255, 26 + i * 12));
    }
    p.end();
    return image;
}

TauUpgraderWizardForm* WizardForm()
{
    return TheForm;
}

TauUpgraderWizardForm* ShowWizard(const TauWizardAppearance& Appearance, std::function<void()> AbortUpgrade)
{
    const bool created = TheForm == nullptr;
    if (created)
        TheForm = new TauUpgraderWizardForm();
    TauUpgraderWizardForm* form = TheForm;
    form->Fill(Appearance, std::move(AbortUpgrade));
    if (created)
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            form->move(screen->availableGeometry().center() - form->rect().center());
    form->show();
    return form;
}

void DestroyWizardForm()
{
    TauUpgraderWizardForm* form = TheForm;
    TheForm = nullptr;
    delete form;
}

void WaitForWizardForm()
{
    const QPointer<TauUpgraderWizardForm> form(TheForm);
    if (!form)
        return;
    QEventLoop loop;
    QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
    form->activateWindow();
    form->raise();
    // The form may have gone while it was being activated.
    if (form)
        loop.exec();
}
