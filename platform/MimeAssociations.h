#pragma once
// The XDG file-type associations presented as a file-type registry.
//
// ".ext" reads as the MIME type of that extension (shared MIME database).
// A MIME type's key exists when a mimeapps.list file names a default
// application for it whose desktop entry is installed; its "shell" key holds
// the verb "open" (the entry's main Exec line) followed by the entry's
// desktop actions, each with a "command" key whose default value is that
// Exec line. The XDG settings are read afresh on every lookup.

#include "platform/FileTypeRegistry.h"

class TMimeAssociations : public TFileTypeRegistry {
public:
    TMimeAssociations() = default;

    bool KeyExists(const std::string& Key) const override;
    TRegistryRead ReadDefault(const std::string& Key, std::string& Value) const override;
    std::vector<std::string> SubkeyNames(const std::string& Key) const override;
};
