// The program without its skin, for the start-up benchmark only: linked
// before the skins library, this skin manager takes the place of the real
// one (whose object file the linker then never pulls in). It keeps every
// setting the main window gives it but reads no skin and never puts one in
// force, so the program starts exactly as it does, in Qt's plain style.
// The hint manager still sets the tooltips' font and colours, as a program
// without skins would need to as well.

#include "skins/sSkinManager.h"

TsSkinManager::TsSkinManager(QObject* parent)
    : QObject(parent)
{
}

QStringList TsSkinManager::SkinNames() const
{
    return {};
}

void TsSkinManager::SetSkinName(const QString& name)
{
    FSkinName = name;
}

void TsSkinManager::SetSkinningRules(TSkinningRules rules)
{
    FSkinningRules = rules;
}

void TsSkinManager::SetHueOffset(int degrees)
{
    FHueOffset = degrees;
}

void TsSkinManager::SetSaturation(int percent)
{
    FSaturation = percent;
}

void TsSkinManager::SetMenuSupport(const TsMenuSupport& menus)
{
    FMenuSupport = menus;
}

void TsSkinManager::SetActive(bool active)
{
    FActive = active;
}

void TsSkinManager::SetHintKind(const std::optional<TsHintKind>& kind)
{
    FHintKind = kind;
}

void TsSkinManager::Loaded()
{
    FLoaded = true;
}

const TSkinData* TsSkinManager::CurrentSkin() const
{
    return nullptr;
}

void TsSkinManager::Update()
{
}
