#include "upgrade/auUpgraderSettings.h"

void TauUpgraderWizard::SetLanguage(TauUpgraderLanguage value)
{
    FLanguage = value;
    ChooseUpgraderLanguage(value);
}
