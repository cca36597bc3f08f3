#pragma once
// Shared routines of the HTTP engine and the upgrade component. None of them
// throws: each reports failure through its result. All text is UTF-8;
// character positions in comments count from 1. To trim is to remove the
// leading and trailing characters of codes 0 to 32.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TStream;
class TFileTypeRegistry;
class TProcessLauncher;

// Days since 30 December 1899; the fraction is the time of day. Local time
// unless a routine says otherwise.
using TDateTime = double;

// The computer has a network address other than the loopback one.
bool IsOnline();
bool HasNetworkAddress();
// The rule on a given list of IPv4 addresses: the last one is neither empty
// nor "127.0.0.1".
bool HasNetworkAddress(const std::vector<std::string>& Addresses);

// Done * 100 / Total rounded to even, low eight bits; 0 for a zero Total and
// for a result that is not a number or does not fit in 64 bits.
std::uint8_t PercentOf(long double Total, long double Done);

// The program registered to open files of Extension (".html"), without its
// parameters; empty when nothing usable is registered.
void GetAssociatedProgram(const std::string& Extension, std::string& Program);
void GetAssociatedProgram(const TFileTypeRegistry& Registry, const std::string& Extension, std::string& Program);
// Opens URL ("http://" is put in front when it has no "://") in the program
// registered for ".html" when UseHtmlProgram is set and one is, else with the
// desktop's default opener (xdg-open). The address is one argument; nothing
// is reported.
void OpenInBrowser(const std::string& URL, bool UseHtmlProgram);
void OpenInBrowser(const std::string& URL, bool UseHtmlProgram, const TFileTypeRegistry& Registry,
                   TProcessLauncher& Launcher);

// The system's temporary folder ($TMPDIR, else /tmp), or the program's own
// folder when that is not an existing folder; always ends in "/". When the
// program's path cannot be read either, the temporary folder's name as it
// is ($TMPDIR, else /tmp/).
void GetTempFolder(std::string& Folder);
// The same with the program's folder given ("" when it cannot be read).
void GetTempFolder(const std::string& ProgramFolder, std::string& Folder);
bool FolderExists(const std::string& Path);

// URL with "http://" put in front when it has no "://": the one default
// scheme of every address the engine and the browser launch take.
std::string WithDefaultScheme(const std::string& URL);

// Splits URL ("http://" assumed when it has no "://"). Parts come back with
// their percent-escapes decoded; ExtraInfo is "?query#fragment" as far as
// present; Port is the scheme's default when none is given (0 when the
// scheme has none). On failure (including a part over its limit: scheme 32,
// host 256, user 128, password 128, path 2048, extra 2048 bytes) the outputs
// are left untouched and the result is false.
bool CrackURL(const std::string& URL, std::string& Scheme, std::string& Host, std::string& Path,
              std::string& UserName, std::string& Password, std::string& ExtraInfo, std::uint16_t& Port);
// The host part of URL; empty when it cannot be split.
std::string URLHostName(const std::string& URL);
// Every "/" turned into "\", then the text after the last "\" or ":"; a
// query stays attached. Its %xx escapes are decoded, except those of "/",
// "\", ":" and control characters; a name that would decode to "." or "..",
// or to bytes that are no UTF-8, keeps all its escapes. So decoding never
// makes a name reach another folder, and a name without escapes is as given.
std::string URLFileName(const std::string& URL);

// 1 when version A is the greater, -1 when B is, 0 when equal, by up to four
// dotted numbers; when a part is no number, by the bytes of the whole texts.
std::int8_t CompareVersions(const std::string& A, const std::string& B);

// An HTTP date header value (RFC 1123, RFC 850 or asctime form, a zone name
// or +hhmm) as local time; 0 for an empty value or one that names no
// possible date and time.
TDateTime HTTPDateToLocal(const std::string& Value);

// Sets the times that are not -1 to the instants the local date-times mean,
// to the even second; a time outside 1980 to 2107 is left as it is.
// Linux keeps no settable creation time: Created is accepted and ignored.
// False when the file does not exist or its times cannot be set.
bool SetFileTimes(const std::string& FileName, TDateTime Created, TDateTime Modified, TDateTime Accessed);
// Size in bytes, -1 when there is no such file.
std::int64_t GetFileSize64(const std::string& FileName);

// Writes the compiled-in resource ":/Type/Name" into Stream; false when
// Stream is null, the resource is missing or empty, or writing fails.
bool SaveResourceToStream(const std::string& Name, const std::string& Type, TStream* Stream);

// Asks the main window (platform::SetMainWindow) to close, then ends the
// application's event loop. Window thread, inside the running loop.
void CloseApplication();

// Used inside the unit; published for its tests.
enum TSplitOption : unsigned {
    spSeparatorToBefore = 1,  // Before ends with the separator
    spSeparatorToAfter = 2,   // After starts with the separator
};
// Splits Text at the first Separator. When there is none, Before is the
// whole Text and After empty, or the other way round with NotFoundToAfter.
void SplitAt(const std::string& Separator, const std::string& Text, std::string& Before, std::string& After,
             bool NotFoundToAfter, unsigned Options);
// Splits a registered command line into the program (quotes removed) and its
// parameters, both trimmed.
void SplitCommandLine(std::string& Command, std::string& Parameters);
// Exactly four parts: the texts between the first three dots, "0" for those
// missing; anything after a fourth dot is dropped.
std::array<std::string, 4> SplitVersion(const std::string& Version);
// Head is the text before the first Separator (all of S when there is none);
// with Remove, S loses Head and the separator.
void CutToken(std::string& S, const std::string& Separator, bool Remove, std::string& Head);
// 1 for SUN to 7 for SAT, 1 for JAN to 12 for DEC, in any case; else 0.
int WeekdayNumber(const std::string& Name);
int MonthNumber(const std::string& Name);
// "+hhmm" or "-hhmm" (the first five characters of the trimmed value) as a
// signed time of day; 0 for anything else.
TDateTime ZoneOffsetToTime(const std::string& Value);
// Days UTC is ahead of local time at the instant UTC, daylight time included
// when it is in force then.
TDateTime LocalZoneBias(TDateTime UTC);
TDateTime UTCToLocal(TDateTime Value);
