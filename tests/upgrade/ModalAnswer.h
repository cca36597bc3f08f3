#pragma once
// Answers a modal window from inside its own modal run: the window of type W
// is handed to Answer as soon as it is the active modal widget. Make one
// just before the code that shows the window; it stops looking when it has
// answered or goes out of scope, so it never answers a later window.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

template <typename W>
class TModalAnswer {
public:
    explicit TModalAnswer(std::function<void(W*)> Answer)
        : FAnswer(std::move(Answer))
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, &FTimer, [this] {
            if (auto* window = qobject_cast<W*>(QApplication::activeModalWidget())) {
                FTimer.stop();
                FAnswered = true;
                FAnswer(window);
            }
        });
        FTimer.start();
    }
    TModalAnswer(const TModalAnswer&) = delete;
    TModalAnswer& operator=(const TModalAnswer&) = delete;

    bool Answered() const { return FAnswered; }

private:
    std::function<void(W*)> FAnswer;
    QTimer FTimer;
    bool FAnswered = false;
};
