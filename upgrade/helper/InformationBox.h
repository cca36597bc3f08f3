#pragma once
// What the helper does when started by hand, without the program's
// hand-over: it says what it is and ends.

#include <string>

// The caption and text of the information.
std::string InformationCaption();
std::string InformationText();

// Shows the information in a box captioned InformationCaption(), or, where
// no window can be shown (no display, a display that cannot be reached, a
// windowless Qt platform, or a build without widgets), writes the same text
// to standard error. Returns the exit code: 0.
int ShowInformation(int argc, char** argv);
