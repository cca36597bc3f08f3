#pragma once
// The files an upgrade downloads: each listed address is stored in the
// program's folder under the file name part of the address plus ".uTMP",
// where the helper finds it and puts it in place after the program has
// closed. The component's download steps live in auUpgraderDownload.cpp.

#include <QString>

#include <string>
#include <vector>

// Folder (ending in "/") + URLFileName(Address) + ".uTMP". Every address
// lands in the one folder, whatever its own path: two addresses with the
// same file name share one temporary file.
std::string DownloadFileOf(const std::string& Folder, const std::string& Address);

// Removes the temporary file of every address in Addresses, and nothing
// else: a folder of that name, or any other file, stays.
void RemoveDownloadFiles(const std::string& Folder, const std::vector<std::string>& Addresses);

// What the box says when FileName could not be stored in a writable folder:
// the first paragraph of message 28 ("File ... not found or inaccessible.").
// Its question about skipping the file does not apply: the upgrade ends.
QString FileNotStoredText(const QString& FileName);
