#pragma once
// The small popup shown while a search is dispatched.

#include <QDialog>
#include <QPointer>

class QLabel;

class TFpub_status : public QDialog {
    Q_OBJECT
public:
    explicit TFpub_status(QWidget* parent = nullptr);
    QLabel* Label1;
};

// The one popup that exists, or null.
extern QPointer<TFpub_status> Fpub_status;

// Shows the popup without making it modal and paints it at once. A popup
// that cannot be shown is dropped; the caller goes on without it.
void ShowStatus(const QString& caption, const QString& text);
void CloseStatus();
