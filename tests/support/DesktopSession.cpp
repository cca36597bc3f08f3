#include "support/DesktopSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace {

// Debian's own interpreter: it has the accessibility bindings, which another
// python on the PATH may lack.
const QString Python = QStringLiteral("/usr/bin/python3");
const QString WindowsScript = QStringLiteral(SHOPSCOPE_ACCESSIBLE_WINDOWS_SCRIPT);

QRect BoxOf(const QJsonValue& value)
{
    const QJsonArray a = value.toArray();
    return a.size() == 4 ? QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()) : QRect();
}

// Reads the first line a just-started process prints, e.g. the display
// number Xvfb gives once it accepts clients.
QString FirstLine(QProcess& process, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    process.waitForStarted(timeoutMs);
    while (!process.canReadLine() && process.state() == QProcess::Running && !deadline.hasExpired())
        process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    return process.canReadLine() ? QString::fromLocal8Bit(process.readLine()).trimmed() : QString();
}

void EndGroup(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    // The session bus is in a process group of its own, with every service it
    // started for us: the accessibility bus and its registry end with it.
    ::kill(-pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(10000)) {
        ::kill(-pid_t(process.processId()), SIGKILL);
        process.waitForFinished(-1);
    }
}

} // namespace

const TAccessibleItem* TAccessibleWindow::Find(const QString& role, const QString& name) const
{
    for (const TAccessibleItem& item : Items) {
        if (item.Role == role && QString(item.Name).remove(u'&').contains(name))
            return &item;
    }
    return nullptr;
}

QString TAccessibleWindow::Says() const
{
    QStringList lines;
    for (const TAccessibleItem& item : Items) {
        if (item.Role == QLatin1String("label"))
            lines << QString(item.Name).replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    }
    return lines.join(u'\n');
}

TDesktopSession::TDesktopSession()
{
    for (const QString& tool : {QStringLiteral("Xvfb"), QStringLiteral("xdotool"), QStringLiteral("dbus-daemon"),
                                QStringLiteral("dbus-send")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            FError = tool + QStringLiteral(" is missing: run scripts/install-deps.sh");
            return;
        }
    }
    if (!Run(Python, {QStringLiteral("-c"), QStringLiteral("import pyatspi")})) {
        FError = QStringLiteral("python3-pyatspi is missing: run scripts/install-deps.sh");
        return;
    }

    FXServer = std::make_unique<QProcess>();
    FXServer->start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                             QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                             QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    const QString number = FirstLine(*FXServer, 60000);
    if (number.isEmpty()) {
        FError = QStringLiteral("Xvfb did not start: ") + QString::fromLocal8Bit(FXServer->readAllStandardError());
        return;
    }
    FDisplay = u':' + number;

    FBus = std::make_unique<QProcess>();
    FBus->setChildProcessModifier([] { ::setpgid(0, 0); });
    FBus->start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                QStringLiteral("--print-address=1")});
    FBusAddress = FirstLine(*FBus, 60000);
    if (FBusAddress.isEmpty()) {
        FError = QStringLiteral("the session bus did not start: ") + QString::fromLocal8Bit(FBus->readAllStandardError());
        return;
    }
    // Qt joins the accessibility bus only when it is there as the program
    // starts; asking for its address starts it.
    if (!Run(QStringLiteral("dbus-send"), {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                                           QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.a11y.Bus.GetAddress")}))
        FError = QStringLiteral("the accessibility bus did not start (at-spi2-core)");
}

TDesktopSession::~TDesktopSession()
{
    if (FBus)
        EndGroup(*FBus);
    // Every program still on the display loses it and ends.
    if (FXServer && FXServer->state() != QProcess::NotRunning) {
        FXServer->terminate();
        if (!FXServer->waitForFinished(10000)) {
            FXServer->kill();
            FXServer->waitForFinished(-1);
        }
    }
}

QProcessEnvironment TDesktopSession::Environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("DISPLAY"), FDisplay);
    base.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), FBusAddress);
    base.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    base.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    base.remove(QStringLiteral("WAYLAND_DISPLAY"));
    base.remove(QStringLiteral("XAUTHORITY"));
    return base;
}

bool TDesktopSession::Run(const QString& program, const QStringList& arguments, QByteArray* out, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(Environment(QProcessEnvironment::systemEnvironment()));
    process.start(program, arguments);
    QString failure;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(-1);
        failure = QStringLiteral("did not finish in %1 ms").arg(timeoutMs);
    } else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        failure = QStringLiteral("failed (%1): %2")
                      .arg(process.exitCode())
                      .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
    }
    if (!failure.isEmpty()) {
        // Said once for each new way of failing, so that a test that waits
        // on a broken tool shows why without repeating it at every try.
        const QString said = QFileInfo(program).fileName() + u' ' + failure;
        if (said != FLastFailure)
            qWarning().noquote() << said;
        FLastFailure = said;
        return false;
    }
    FLastFailure.clear();
    if (out)
        *out = process.readAllStandardOutput();
    return true;
}

std::vector<TAccessibleWindow> TDesktopSession::Windows() const
{
    QByteArray json;
    std::vector<TAccessibleWindow> windows;
    if (!Run(Python, {WindowsScript}, &json))
        return windows;
    for (const QJsonValue& w : QJsonDocument::fromJson(json).array()) {
        const QJsonObject o = w.toObject();
        TAccessibleWindow window;
        window.Pid = o.value(QLatin1String("pid")).toInteger();
        window.Role = o.value(QLatin1String("role")).toString();
        window.Caption = o.value(QLatin1String("caption")).toString();
        window.Box = BoxOf(o.value(QLatin1String("box")));
        for (const QJsonValue& i : o.value(QLatin1String("items")).toArray()) {
            const QJsonObject item = i.toObject();
            window.Items.push_back({item.value(QLatin1String("role")).toString(), item.value(QLatin1String("name")).toString(),
                                    item.value(QLatin1String("text")).toString(), BoxOf(item.value(QLatin1String("box")))});
        }
        windows.push_back(std::move(window));
    }
    return windows;
}

std::optional<TAccessibleWindow> TDesktopSession::WaitForWindow(
    const std::function<bool(const TAccessibleWindow&)>& accept, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        for (TAccessibleWindow& window : Windows()) {
            if (accept(window))
                return std::move(window);
        }
        QCoreApplication::processEvents();
        QThread::msleep(200);
    } while (!deadline.hasExpired());
    return std::nullopt;
}

bool TDesktopSession::Click(const QRect& box) const
{
    const QPoint at = box.center();
    return Run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                                           QStringLiteral("click"), QStringLiteral("1")});
}
