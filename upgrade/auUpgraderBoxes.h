#pragma once
// The upgrade component's message boxes, in the current language of the
// message table. Modal; window thread only.

#include <QString>

class QWidget;

// The application's title as the upgrade windows name it.
QString ApplicationTitle();
// Text with its line breaks as the message table writes them (CR, CR LF or
// LF, as Windows boxes take them) turned into the LF that Qt's labels break
// at.
QString ShownLines(QString Text);

// A box with Text, the caption LangStr(0), the stop icon and one OK button;
// returns when it has been closed.
void ShowErrorText(const QString& Text);
// ShowErrorText(LangStr(k)).
void ShowErrorMsg(int k);

// A question with Text, the application's title as caption, the question
// icon and the buttons Yes and No, over Parent (which may be null); true for
// Yes. A Parent destroyed while the box is up takes the box with it: false.
bool AskYesNo(const QString& Text, QWidget* Parent);
