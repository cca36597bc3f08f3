#pragma once
// A private desktop for tests that use whole programs the way a person does:
// an X display of its own (Xvfb), a session bus with the accessibility bus on
// it, input through the X server's test extension (xdotool), and the texts of
// every window read back through the accessibility bus, as a screen reader
// reads them. Everything it starts ends with it.

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct TAccessibleItem {
    QString Role;  // as the accessibility bus names it: "push button", "label", "text"...
    QString Name;  // a label's or button's text, a tab's title
    QString Text;  // what an editable or text control holds
    QRect Box;     // on the screen
};

struct TAccessibleWindow {
    qint64 Pid = 0;
    QString Role;     // "frame", "dialog", "window"...
    QString Caption;
    QRect Box;
    std::vector<TAccessibleItem> Items;

    // The first control of that role whose name, without "&" marks, contains
    // name; nullptr when there is none.
    const TAccessibleItem* Find(const QString& role, const QString& name) const;
    // Every label's text, joined by line feeds, with CR and CR LF read as
    // line feeds: what the window says.
    QString Says() const;
};

class TDesktopSession {
public:
    // Starts the display and the buses; Error() tells what went wrong.
    TDesktopSession();
    ~TDesktopSession();
    TDesktopSession(const TDesktopSession&) = delete;
    TDesktopSession& operator=(const TDesktopSession&) = delete;

    // Empty once everything runs; otherwise what is missing, and how to get it.
    QString Error() const { return FError; }

    // base with this desktop's display and session bus, the X platform, and
    // accessibility on, for a program started on it.
    QProcessEnvironment Environment(QProcessEnvironment base) const;

    // Every shown top-level window of every program, as the bus has them now.
    std::vector<TAccessibleWindow> Windows() const;
    // Reads the windows until accept finds one (at most timeoutMs), and
    // returns it.
    std::optional<TAccessibleWindow> WaitForWindow(const std::function<bool(const TAccessibleWindow&)>& accept,
                                                   int timeoutMs) const;
    // A left click at the middle of box, through the X test extension.
    bool Click(const QRect& box) const;

private:
    bool Run(const QString& program, const QStringList& arguments, QByteArray* out = nullptr,
             int timeoutMs = 60000) const;

    QString FError;
    mutable QString FLastFailure;
    QString FDisplay;
    QString FBusAddress;
    std::unique_ptr<QProcess> FXServer;
    std::unique_ptr<QProcess> FBus;
};
