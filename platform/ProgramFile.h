#pragma once
// Where the running program's executable file lives.

#include <string>

namespace platform {

// The folder of the running executable, ending in "/"; empty when the
// system does not tell. Needs no application object.
std::string ProgramFolder();

} // namespace platform
