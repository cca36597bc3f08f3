#pragma once
// The publisher's edits of an upgrade info file, made on its bytes so that
// everything the publisher wrote stays exactly as it was: only whole lines
// are taken out, and new entries go at the end in the file's own line ends.

#include <string>
#include <string_view>

// The line end the file uses: "\r\n" when its first line ends so, else "\n".
std::string LineEndOf(std::string_view Text);

// Text ending in a line end: as it is when it already does (or is empty),
// else with the file's line end added.
std::string WithFinalLineEnd(std::string_view Text);

// Text without the lines that begin with a hash entry ("#sha256-", in any
// letter case).
std::string WithoutHashEntries(std::string_view Text);

// Text with the entry "#Key=Value" added as a line of its own at the end.
std::string WithEntry(std::string_view Text, std::string_view Key, std::string_view Value);
