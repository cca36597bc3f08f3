#pragma once
// The screen cursor: one cursor for the whole application, whatever the
// mouse is over.

enum TCursor { crDefault = 0, crHourGlass = -11 };

// crDefault removes any application-wide cursor, however many were set.
void SetScreenCursor(TCursor cursor);
TCursor ScreenCursor();
