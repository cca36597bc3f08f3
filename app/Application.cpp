#include "app/Application.h"

#include "app/ErrorHandler.h"

#include <QFont>
#include <QIcon>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("shopscope"));
    // The title the upgrade boxes and windows carry.
    setApplicationDisplayName(QStringLiteral("Shopscope"));
    setApplicationVersion(QStringLiteral("1.1.610"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/shopscope.svg")));
    InstallFontSubstitutes();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    // Handlers guard themselves; this only catches what slips through, so
    // the message loop goes on whatever happened.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

void InstallFontSubstitutes()
{
    // fonts-noto-cjk carries the Chinese families; DejaVu the Latin ones.
    // Chinese in the Latin faces falls back to 宋体's stand-in, as Chinese
    // Windows links those faces to 宋体: one CJK face, not two, is loaded
    // (each costs the window some megabytes).
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Serif CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Serif CJK SC")});
}
