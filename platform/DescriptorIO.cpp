#include "platform/DescriptorIO.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

int WriteWhole(int Fd, std::string_view Bytes)
{
    while (!Bytes.empty()) {
        const ssize_t written = ::write(Fd, Bytes.data(), Bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        Bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int ReadToEnd(int Fd, const std::function<int(std::string_view Piece)>& Take)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(Fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        if (const int error = Take(std::string_view(buffer, static_cast<std::size_t>(got))))
            return error;
    }
}

} // namespace platform
