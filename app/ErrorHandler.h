#pragma once
// The top-level error handler: an error that escapes an event handler is
// shown in a box captioned with the application's title, and the program
// carries on.

#include <QString>

#include <exception>
#include <utility>

inline constexpr const char* ApplicationTitle = "Shopscope";

// The message as the box shows it: a full stop is added unless the text
// already ends in a character of code 46 (".") or below.
QString ErrorBoxText(const QString& message);

// Shows the error box (stop icon) and returns when the user has closed it.
void ShowErrorBox(const QString& message);
void ShowException(std::exception_ptr error);

// Runs handler; whatever it throws ends up in the error box.
template <class F>
void HandleErrors(F&& handler)
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        ShowException(std::current_exception());
    }
}
