#include "skins/sSkinManager.h"

#include "platform/DesignFonts.h"
#include "skins/sSkinStyle.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QtDebug>

TsSkinManager::TsSkinManager(QObject* parent)
    : QObject(parent)
    , FSkins(LoadSkins(QStringLiteral(":/skins")))
{
    InstallDesignFontSubstitutes();
}

QStringList TsSkinManager::SkinNames() const
{
    QStringList names;
    for (const TSkinData& skin : FSkins)
        names.append(skin.Name);
    return names;
}

void TsSkinManager::SetSkinName(const QString& name)
{
    FSkinName = name;
    Update();
}

void TsSkinManager::SetSkinningRules(TSkinningRules rules)
{
    FSkinningRules = rules;
    Update();
}

void TsSkinManager::SetHueOffset(int degrees)
{
    FHueOffset = degrees;
    Update();
}

void TsSkinManager::SetSaturation(int percent)
{
    FSaturation = std::clamp(percent, -100, 100);
    Update();
}

void TsSkinManager::SetMenuSupport(const TsMenuSupport& menus)
{
    FMenuSupport = menus;
    Update();
}

void TsSkinManager::SetActive(bool active)
{
    FActive = active;
    Update();
}

void TsSkinManager::SetHintKind(const std::optional<TsHintKind>& kind)
{
    FHintKind = kind;
    Update();
}

void TsSkinManager::Loaded()
{
    FLoaded = true;
    Update();
}

const TSkinData* TsSkinManager::CurrentSkin() const
{
    const auto* style = qobject_cast<const TsSkinStyle*>(QApplication::style());
    return FInForce && style ? &style->Skin() : nullptr;
}

void TsSkinManager::Update()
{
    if (!FLoaded)
        return;
    const auto skin = std::find_if(FSkins.begin(), FSkins.end(), [&](const TSkinData& s) { return s.Name == FSkinName; });
    if (FActive && skin == FSkins.end())
        qWarning().noquote() << "No skin named" << FSkinName;
    if (FActive && skin != FSkins.end()) {
        if (!FInForce)
            FPlainStyle = QApplication::style()->name();
        TSkinData data = *skin;
        data.ShiftColours(FHueOffset, FSaturation);
        TsSkinOptions options;
        options.Rules = FSkinningRules;
        options.IcoLineSection = FMenuSupport.IcoLineSkin;
        options.Hint = FHintKind;
        auto* style = new TsSkinStyle(std::move(data), std::move(options));
        // The application owns the style; setting it dresses every window
        // that exists and every one opened later.
        QApplication::setStyle(style);
        QApplication::setPalette(style->standardPalette());
        FInForce = true;
    } else if (FInForce && (!FActive || skin == FSkins.end())) {
        QStyle* plain = QStyleFactory::create(FPlainStyle.isEmpty() ? QStringLiteral("Fusion") : FPlainStyle);
        if (!plain)
            plain = QStyleFactory::create(QStringLiteral("Fusion"));
        QApplication::setStyle(plain);
        QApplication::setPalette(plain->standardPalette());
        FInForce = false;
    }
}
