#pragma once
// How hints (tooltips) look when the hint manager dresses them itself
// instead of taking the skin's "HINT" section.

#include <QColor>
#include <QString>

enum THintStyle { hsSimply, hsStandard, hsEllipse, hsBalloon };

struct TsHintKind {
    THintStyle Style = hsEllipse;
    QColor Color = Qt::black;  // the hint's fill
    QColor ColorBorderTop = Qt::black;
    QColor ColorBorderBottom = Qt::black;
    int Bevel = 0;
    int Transparency = 0;  // percent
    int ShadowBlur = 0;
    int ShadowOffset = 0;
    int ShadowTransparency = 0;
    QString FontFamily = QStringLiteral("MS Sans Serif");
    int FontPixels = 11;
    // Invalid means the window-text colour of the look in force.
    QColor FontColor;
};
