#pragma once
// One skin: its name, its place among the skins, and per skin section the
// colours, texture, border and font that the style draws that section with.
// A skin is a folder holding a skin.json and its images; nothing about a
// particular skin lives in code.

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

struct TSkinFont {
    QString Family;
    int Pixels = 0;
    bool Bold = false;
    bool IsSet() const { return !Family.isEmpty() && Pixels > 0; }
};

// Every key is optional; a section carries what its controls draw with.
// Fills are one colour or gradient stops from top to bottom.
struct TSkinSection {
    QList<QColor> Fill;
    QList<QColor> HotFill;   // under the mouse
    QList<QColor> DownFill;  // pressed
    QList<QColor> SelFill;   // selected, checked, the filled part
    QColor Text;
    QColor SelText;
    QColor Border;
    QColor Light;  // inner highlight line
    QColor Focus;  // border with the keyboard focus
    QColor Pane;   // the page area below the tabs
    QColor Separator;
    int Radius = 0;
    int Width = 0;
    TSkinFont Font;
    QString Image;  // texture tiled over Fill, a file in the skin's folder
};

class TSkinData {
public:
    // Reads Folder/skin.json. On failure returns false and says why in Error.
    bool Load(const QString& Folder, QString* Error = nullptr);

    QString Name;
    int Order = 0;
    QString Folder;

    // Null when the skin has no such section.
    const TSkinSection* Section(const QString& Name) const;
    QStringList SectionNames() const;
    // Path of a texture for the given device pixel ratio: its @2x file from
    // 1.5 on, when the skin has one.
    QString ImagePath(const QString& File, qreal Ratio) const;
    // Shifts the hue of every colour by Hue degrees and changes its
    // saturation by Saturation percent (-100 to 100); 0, 0 changes nothing.
    void ShiftColours(int Hue, int Saturation);

private:
    std::map<QString, TSkinSection> FSections;
};

// The sections each skin must carry to dress every window of the program.
const QStringList& RequiredSkinSections();

// The skins found under Root: each sub-folder holding a valid skin.json that
// has every required section, sorted by Order and then by name. Others are
// left out with a warning.
std::vector<TSkinData> LoadSkins(const QString& Root);

// Colour of a fill at Fraction (0 top, 1 bottom) of its height.
QColor FillColourAt(const QList<QColor>& Fill, qreal Fraction);
