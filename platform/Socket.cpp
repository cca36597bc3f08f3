#include "platform/Socket.h"

#include <unistd.h>

namespace platform {

bool CloseSocket(int Handle)
{
    // No retry on EINTR: on Linux the descriptor is released even then, and
    // a second close could hit a descriptor another thread just opened.
    return ::close(Handle) == 0;
}

} // namespace platform
