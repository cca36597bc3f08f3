#pragma once
// The style that draws every window and control in a skin: Fusion for the
// layout and the controls the skins do not dress, and on top of it each
// section's colours, borders, textures and fonts. Everything is drawn as
// vectors in the device's own pixels, so 100 % and 150 % are equally crisp.

#include "skins/sSkinData.h"
#include "skins/sSkinOptions.h"

#include <QHash>
#include <QPixmap>
#include <QProxyStyle>

class TsSkinStyle : public QProxyStyle {
    Q_OBJECT
public:
    TsSkinStyle(TSkinData Skin, TsSkinOptions Options);

    const TSkinData& Skin() const { return FSkin; }
    const TsSkinOptions& Options() const { return FOptions; }
    // The section Widget draws with: its own, else its kind's as the rules
    // allow, else Fallback when the rules allow other controls. Null: draw
    // it unskinned.
    const TSkinSection* SectionFor(const QWidget* Widget, const QString& Fallback) const;

    QPalette standardPalette() const override;
    void polish(QWidget* Widget) override;
    void unpolish(QWidget* Widget) override;
    void polish(QPalette& Palette) override;
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;

    void drawPrimitive(PrimitiveElement Element, const QStyleOption* Option, QPainter* Painter,
                       const QWidget* Widget = nullptr) const override;
    void drawControl(ControlElement Element, const QStyleOption* Option, QPainter* Painter,
                     const QWidget* Widget = nullptr) const override;
    void drawComplexControl(ComplexControl Control, const QStyleOptionComplex* Option, QPainter* Painter,
                            const QWidget* Widget = nullptr) const override;
    QRect subControlRect(ComplexControl Control, const QStyleOptionComplex* Option, SubControl Sub,
                         const QWidget* Widget = nullptr) const override;
    int pixelMetric(PixelMetric Metric, const QStyleOption* Option = nullptr,
                    const QWidget* Widget = nullptr) const override;
    int styleHint(StyleHint Hint, const QStyleOption* Option = nullptr, const QWidget* Widget = nullptr,
                  QStyleHintReturn* ReturnData = nullptr) const override;
    QSize sizeFromContents(ContentsType Type, const QStyleOption* Option, const QSize& Size,
                           const QWidget* Widget = nullptr) const override;

protected:
    // Paints the backgrounds that no widget asks the style for: windows,
    // plain panels and the panels of a status bar.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    const TSkinSection& Sec(const QString& Name) const;
    const QPixmap& Texture(const QString& File, qreal Ratio) const;
    void PaintBackground(QWidget* Widget) const;
    void DrawTexture(QPainter* Painter, const QRect& DeviceRect, const TSkinSection& Section, qreal Ratio) const;
    void DrawButton(const QStyleOption* Option, QPainter* Painter, const TSkinSection& Section) const;
    void DrawTab(const QStyleOption* Option, QPainter* Painter, const TSkinSection& Section) const;
    void DrawMenuItem(const QStyleOption* Option, QPainter* Painter, const QWidget* Widget,
                      const TSkinSection& Section) const;
    void DrawHint(const QStyleOption* Option, QPainter* Painter) const;

    TSkinData FSkin;
    TsSkinOptions FOptions;
    TSkinSection FEmpty;
    mutable QHash<QString, QPixmap> FTextures;  // decoded on first use
};
