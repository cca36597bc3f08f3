#pragma once
// An application-wide hook that sees every event before the widget it is
// meant for; setting Handled keeps the event from being delivered at all.

#include <QObject>

#include <functional>

class TApplicationEvents : public QObject {
    Q_OBJECT
public:
    explicit TApplicationEvents(QObject* parent = nullptr);
    ~TApplicationEvents() override;

    std::function<void(QObject* Target, QEvent* Msg, bool& Handled)> OnMessage;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
