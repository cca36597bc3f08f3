#pragma once
// Shared routines of the HTTP engine and the upgrade component. None of them
// throws: each reports failure through its result. All text is UTF-8;
// character positions in comments count from 1.

#include <cstdint>
#include <string>

class TStream;

// Days since 30 December 1899; the fraction is the time of day. Local time
// unless a routine says otherwise.
using TDateTime = double;

// The computer has a network address other than the loopback one.
bool IsOnline();
bool HasNetworkAddress();

// Done * 100 / Total rounded to even, low eight bits; 0 for a zero Total.
std::uint8_t PercentOf(long double Total, long double Done);

// The program registered to open files of Extension (".html"), without its
// parameters; empty when nothing usable is registered.
void GetAssociatedProgram(const std::string& Extension, std::string& Program);
// Opens URL ("http://" is put in front when it has no "://") in the program
// registered for ".html" when UseHtmlProgram is set and one is, else with the
// desktop's default opener.
void OpenInBrowser(const std::string& URL, bool UseHtmlProgram);

// The system's temporary folder, or the program's own folder when that does
// not exist; always ends in "/".
void GetTempFolder(std::string& Folder);
bool FolderExists(const std::string& Path);

// Splits URL ("http://" assumed when it has no "://"). Parts come back with
// their percent-escapes decoded. On failure (including a part over its
// limit) the outputs are left untouched and the result is false.
bool CrackURL(const std::string& URL, std::string& Scheme, std::string& Host, std::string& Path,
              std::string& UserName, std::string& Password, std::string& ExtraInfo, std::uint16_t& Port);
std::string URLHostName(const std::string& URL);
// The text after the last "/", "\" or ":"; a query stays attached.
std::string URLFileName(const std::string& URL);

// Positive when version A is the greater, by up to four dotted numbers.
std::int8_t CompareVersions(const std::string& A, const std::string& B);

// An HTTP date header value (RFC 1123, RFC 850 or asctime form, a zone name
// or +hhmm) as local time; 0 for an empty value.
TDateTime HTTPDateToLocal(const std::string& Value);

// Sets the times that are not -1 to the instants the local date-times mean.
// Linux keeps no settable creation time: Created is accepted and ignored.
bool SetFileTimes(const std::string& FileName, TDateTime Created, TDateTime Modified, TDateTime Accessed);
// Size in bytes, -1 when the file cannot be opened.
std::int64_t GetFileSize64(const std::string& FileName);

// Writes the compiled-in resource ":/Type/Name" into Stream; false when
// Stream is null, the resource is missing or empty, or writing fails.
bool SaveResourceToStream(const std::string& Name, const std::string& Type, TStream* Stream);

// Asks the main window to close, then ends the application's event loop.
// Window thread only.
void CloseApplication();

// Used inside the unit; published for its tests.
void SplitAt(const std::string& Separator, const std::string& Text, std::string& Before, std::string& After,
             bool NotFoundToAfter, unsigned Options);
void SplitCommandLine(std::string& Command, std::string& Parameters);
TDateTime ZoneOffsetToTime(const std::string& Value);
TDateTime LocalZoneBias();
TDateTime UTCToLocal(TDateTime Value);
