#pragma once
// A process launcher that records what would be started instead of starting it.

#include "platform/ProcessLauncher.h"

#include <string>
#include <vector>

class TRecordingLauncher : public TProcessLauncher {
public:
    void StartDetached(const std::vector<std::string>& Arguments) override { Started.push_back(Arguments); }

    std::vector<std::vector<std::string>> Started;
};
