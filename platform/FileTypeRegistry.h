#pragma once
// A read-only tree of file-type keys in the shape the program registry of
// Windows has: the key of an extension (".html") whose default value names a
// file type, and under the type's key "shell\<verb>\command" keys whose
// default values are command lines. Key paths are separated by "\".

#include <string>
#include <vector>

enum TRegistryRead {
    rrText,     // the value was read
    rrMissing,  // the key or its default value does not exist; reads as empty
    rrNotText,  // the key holds a default value that is not text
};

class TFileTypeRegistry {
public:
    virtual ~TFileTypeRegistry() = default;
    TFileTypeRegistry(const TFileTypeRegistry&) = delete;
    TFileTypeRegistry& operator=(const TFileTypeRegistry&) = delete;

    virtual bool KeyExists(const std::string& Key) const = 0;
    // Value is empty unless the result is rrText.
    virtual TRegistryRead ReadDefault(const std::string& Key, std::string& Value) const = 0;
    // The names of Key's direct subkeys, in the registry's own order.
    virtual std::vector<std::string> SubkeyNames(const std::string& Key) const = 0;

protected:
    TFileTypeRegistry() = default;
};
