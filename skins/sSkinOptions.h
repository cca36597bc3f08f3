#pragma once
// What the skin manager hands the style besides the skin itself.

#include "skins/sHintKind.h"

#include <QFlags>
#include <QString>

#include <optional>

// What is skinned besides the widgets that carry a skin section: standard
// windows, standard dialogs, and every other control of a known kind.
enum TSkinningRule { srStdForms = 0x1, srStdDialogs = 0x2, srThirdParty = 0x4 };
Q_DECLARE_FLAGS(TSkinningRules, TSkinningRule)
Q_DECLARE_OPERATORS_FOR_FLAGS(TSkinningRules)

struct TsSkinOptions {
    TSkinningRules Rules = srStdForms | srStdDialogs | srThirdParty;
    // The section the icon strip of popup menus draws with; empty: no strip.
    QString IcoLineSection = QStringLiteral("ICOLINE");
    // Set: every hint looks like this instead of the skin's "HINT" section.
    std::optional<TsHintKind> Hint;
};
