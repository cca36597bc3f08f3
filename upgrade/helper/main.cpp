// Upgrader: started by Shopscope with its executable's path and the
// hand-over parameter after it has downloaded an upgrade (see HandOver.h).

#include "platform/DetachedProcess.h"
#include "upgrade/helper/HandOver.h"
#include "upgrade/helper/HelperLog.h"
#include "upgrade/helper/InformationBox.h"
#include "upgrade/helper/UpgradeHelper.h"
#include "upgrade/helper/UpgradeJournal.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    platform::IgnoreBrokenPipes();
    if (argc < 2)
        return ShowInformation(argc, argv);
    const THelperLog log;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::chrono::milliseconds limit(handover::WaitLimitMs(std::getenv(handover::WaitLimitVariable)));
    const std::chrono::milliseconds confirmLimit(handover::MillisecondsSetting(
        std::getenv(journal::ConfirmLimitVariable), journal::DefaultConfirmLimitMs));
    const char* killAt = std::getenv(journal::KillAtVariable);
    TUpgradeHelper helper(handover::ReadHandOver(arguments), limit, confirmLimit, killAt ? killAt : "", log);
    return helper.Run();
}
