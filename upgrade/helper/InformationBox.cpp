#include "upgrade/helper/InformationBox.h"

#include "platform/LogFile.h"
#include "upgrade/helper/HandOver.h"

#include <cstdlib>

#ifdef SHOPSCOPE_UPGRADER_BOX
#include <QApplication>
#include <QMessageBox>
#include <QString>
#endif

std::string InformationCaption()
{
    return "Upgrader v3.4";
}

std::string InformationText()
{
    return "Upgrader is the self-upgrading part of Shopscope's upgrade component. When Shopscope has "
           "downloaded an upgrade, it starts Upgrader and closes; Upgrader then puts the new files in "
           "place and starts Shopscope again. Started by itself, it has nothing to do.";
}

namespace {

int PrintInformation()
{
    platform::WriteStandardError(InformationCaption() + "\n" + InformationText() + "\n");
    return handover::ExitDone;
}

[[maybe_unused]] bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

#ifdef SHOPSCOPE_UPGRADER_BOX

// Qt ends the process with a fatal message when no platform plugin starts
// (a display that cannot be reached). While the application object is being
// made, that means "no display": the text goes to standard error and the
// helper ends normally. The platform's warnings on the way are dropped, the
// text says all the user needs.
void NoDisplayHandler(QtMsgType Type, const QMessageLogContext&, const QString&)
{
    if (Type == QtFatalMsg)
        std::_Exit(PrintInformation());
}

// A box on these would never be seen and never be closed.
bool IsWindowless(const QString& Platform)
{
    return Platform == u"offscreen" || Platform == u"minimal";
}

int ShowBox(int argc, char** argv)
{
    const QtMessageHandler previous = qInstallMessageHandler(NoDisplayHandler);
    QApplication application(argc, argv);
    qInstallMessageHandler(previous);
    if (IsWindowless(QGuiApplication::platformName()))
        return PrintInformation();
    QMessageBox box(QMessageBox::Information, QString::fromStdString(InformationCaption()),
                    QString::fromStdString(InformationText()), QMessageBox::Ok);
    box.exec();
    return handover::ExitDone;
}

#endif

} // namespace

int ShowInformation([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
{
#ifdef SHOPSCOPE_UPGRADER_BOX
    if (HasDisplay())
        return ShowBox(argc, argv);
#endif
    return PrintInformation();
}
