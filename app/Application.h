#pragma once
// Shopscope's application object: its title, and the last line of the
// top-level error handler for anything a handler let escape.

#include <QApplication>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
