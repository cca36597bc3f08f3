#pragma once
// The skin manager of a window: which built-in skin is in force and how far
// the skin reaches. Once loaded and active, it puts its skin in force for the
// whole application, so every window the program opens is skinned.

#include "skins/sHintKind.h"
#include "skins/sSkinData.h"
#include "skins/sSkinOptions.h"

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

struct TsMenuSupport {
    // The section the icon strip of popup menus draws with.
    QString IcoLineSkin = QStringLiteral("ICOLINE");
    // A vertical caption strip along a menu's side.
    bool UseExtraLine = false;
    QString ExtraLineFontFamily = QStringLiteral("MS Sans Serif");
    int ExtraLineFontPixels = 11;
    int ExtraLineWidth = 32;
};

class TsSkinManager : public QObject {
    Q_OBJECT
public:
    // Reads the built-in skins (every skin folder compiled in under :/skins).
    explicit TsSkinManager(QObject* Parent = nullptr);

    // Built-in skins, in their order.
    const std::vector<TSkinData>& InternalSkins() const { return FSkins; }
    QStringList SkinNames() const;

    QString SkinName() const { return FSkinName; }
    // Puts the named skin in force at once when loaded and active.
    void SetSkinName(const QString& Name);
    // Where skins stored as files would be looked for; kept, not used.
    QString SkinDirectory() const { return FSkinDirectory; }
    void SetSkinDirectory(const QString& Directory) { FSkinDirectory = Directory; }
    TSkinningRules SkinningRules() const { return FSkinningRules; }
    void SetSkinningRules(TSkinningRules Rules);  // takes effect at once
    int HueOffset() const { return FHueOffset; }
    void SetHueOffset(int Degrees);  // takes effect at once
    int Saturation() const { return FSaturation; }
    void SetSaturation(int Percent);  // takes effect at once
    const TsMenuSupport& MenuSupport() const { return FMenuSupport; }
    void SetMenuSupport(const TsMenuSupport& Menus);  // takes effect at once
    bool Active() const { return FActive; }
    // Switching off after loading gives the application its plain look back.
    void SetActive(bool Active);

    // Puts the skin in force for the whole application when active.
    void Loaded();
    // The skin in force through this manager, or null; valid until the next
    // change of any setting.
    const TSkinData* CurrentSkin() const;

    // The hint manager's look for every hint; empty: the skin's "HINT".
    void SetHintKind(const std::optional<TsHintKind>& Kind);

private:
    void Update();

    std::vector<TSkinData> FSkins;
    QString FSkinName = QStringLiteral("TheFrog (内置)");
    QString FSkinDirectory = QStringLiteral("c:\\Skins");
    TSkinningRules FSkinningRules = srStdForms | srStdDialogs | srThirdParty;
    int FHueOffset = 0;
    int FSaturation = 0;
    TsMenuSupport FMenuSupport;
    bool FActive = true;
    bool FLoaded = false;
    bool FInForce = false;
    QString FPlainStyle;  // the application's style before the skin
    std::optional<TsHintKind> FHintKind;
};
