#pragma once
// Sockets that a library hands back to us to close.

namespace platform {

// Closes the socket descriptor; false when the system reports an error.
bool CloseSocket(int Handle);

} // namespace platform
