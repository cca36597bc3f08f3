#pragma once
// The machine's own network addresses, read from its interfaces.

#include <string>
#include <vector>

namespace platform {

// Dotted IPv4 addresses of the interfaces that are up, in the order the
// system lists them, the loopback address included; empty when the list
// cannot be read.
std::vector<std::string> IPv4Addresses();

} // namespace platform
