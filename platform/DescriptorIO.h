#pragma once
// Whole reads and writes on open file descriptors, carried on across
// signals that interrupt them.

#include <functional>
#include <string_view>

namespace platform {

// Writes all of Bytes to Fd. Returns 0 or errno.
int WriteWhole(int Fd, std::string_view Bytes);

// Reads Fd to its end, handing each piece read to Take, which returns 0 to
// go on or an errno to stop with. Returns 0 or errno.
int ReadToEnd(int Fd, const std::function<int(std::string_view Piece)>& Take);

} // namespace platform
