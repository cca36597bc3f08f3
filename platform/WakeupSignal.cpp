#include "platform/WakeupSignal.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace platform {

TWakeupSignal::TWakeupSignal()
    : FHandle(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (FHandle < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

TWakeupSignal::~TWakeupSignal()
{
    ::close(FHandle);
}

void TWakeupSignal::Raise()
{
    const std::uint64_t one = 1;
    // Only a counter at its limit refuses, and that counter is raised already.
    while (::write(FHandle, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TWakeupSignal::Clear()
{
    std::uint64_t count = 0;
    while (::read(FHandle, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

void TWakeupSignal::Wait()
{
    pollfd watch{FHandle, POLLIN, 0};
    while (::poll(&watch, 1, -1) < 0 && errno == EINTR) {
    }
}

} // namespace platform
