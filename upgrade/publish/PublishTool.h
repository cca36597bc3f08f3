#pragma once
// shopscope-publish: the maker's tool for upgrade info files. Makes the key
// pair, adds the hashes of the upgrade files, signs the file and verifies a
// signed one, with the same reading of the format as the program.

#include <iosfwd>
#include <string>
#include <vector>

enum TPublishExit : int {
    peOk = 0,
    peVerifyFailed = 1, // verify: the signature or a file's hash does not hold
    peUsage = 2,        // wrong arguments, or a file the command cannot take as it stands
    peIO = 3,           // a file could not be read or written; no output was changed
};

// Runs the command line Args (without the program name), writing results to
// Out and errors to Err. Prints nothing secret.
TPublishExit RunPublishTool(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
