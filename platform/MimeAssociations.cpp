#include "platform/MimeAssociations.h"

#include "platform/FileInfo.h"

#include <QMimeDatabase>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <utility>

namespace {

// One [Group] of a key file (desktop entry or mimeapps.list), entries in file order.
struct TKeyFileGroup {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Entries;

    const std::string* Find(const std::string& key) const
    {
        for (const auto& [k, v] : Entries)
            if (k == key)
                return &v;
        return nullptr;
    }
};

using TKeyFile = std::vector<TKeyFileGroup>;

std::string TrimBlanks(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

TKeyFile ReadKeyFile(const std::string& path)
{
    TKeyFile file;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = TrimBlanks(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            file.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos || file.empty())
            continue;
        file.back().Entries.emplace_back(TrimBlanks(line.substr(0, equals)), TrimBlanks(line.substr(equals + 1)));
    }
    return file;
}

const TKeyFileGroup* FindGroup(const TKeyFile& file, const std::string& name)
{
    const auto it = std::find_if(file.begin(), file.end(), [&](const TKeyFileGroup& g) { return g.Name == name; });
    return it == file.end() ? nullptr : &*it;
}

// The escapes of a desktop-entry string value. Quoting inside an Exec line
// is left for the command-line splitter.
std::string Unescape(const std::string& value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: out += '\\'; out += value[i]; break;
        }
    }
    return out;
}

std::vector<std::string> SplitList(const std::string& text, char separator)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            items.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> BaseFolders(const char* homeVariable, const char* homeDefault, const char* dirsVariable,
                                     const char* dirsDefault)
{
    std::string home = Environment(homeVariable);
    if (home.empty())
        home = Environment("HOME") + homeDefault;
    std::vector<std::string> folders{home};
    std::string dirs = Environment(dirsVariable);
    for (const std::string& dir : SplitList(dirs.empty() ? dirsDefault : dirs, ':'))
        folders.push_back(dir);
    return folders;
}

std::vector<std::string> ConfigFolders()
{
    return BaseFolders("XDG_CONFIG_HOME", "/.config", "XDG_CONFIG_DIRS", "/etc/xdg");
}

std::vector<std::string> ApplicationFolders()
{
    std::vector<std::string> folders;
    for (const std::string& dir :
         BaseFolders("XDG_DATA_HOME", "/.local/share", "XDG_DATA_DIRS", "/usr/local/share:/usr/share"))
        folders.push_back(dir + "/applications");
    return folders;
}

// The mimeapps.list files in the order the XDG rules give them weight: per
// folder the current desktops' own lists before the common one.
std::vector<std::string> MimeAppsLists()
{
    std::vector<std::string> desktops;
    for (std::string desktop : SplitList(Environment("XDG_CURRENT_DESKTOP"), ':')) {
        std::transform(desktop.begin(), desktop.end(), desktop.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        desktops.push_back(desktop);
    }
    std::vector<std::string> folders = ConfigFolders();
    for (const std::string& dir : ApplicationFolders())
        folders.push_back(dir);
    std::vector<std::string> lists;
    for (const std::string& folder : folders) {
        for (const std::string& desktop : desktops)
            lists.push_back(folder + "/" + desktop + "-mimeapps.list");
        lists.push_back(folder + "/mimeapps.list");
    }
    return lists;
}

// A desktop-file id names a file below an applications folder with its
// subfolders joined by "-": "vendor-app.desktop" may be vendor/app.desktop.
std::optional<std::string> LocateEntry(const std::string& folder, const std::string& id)
{
    if (platform::IsFile(folder + "/" + id))
        return folder + "/" + id;
    for (auto dash = id.find('-'); dash != std::string::npos; dash = id.find('-', dash + 1)) {
        const std::string sub = folder + "/" + id.substr(0, dash);
        if (platform::IsFolder(sub))
            if (auto found = LocateEntry(sub, id.substr(dash + 1)))
                return found;
    }
    return std::nullopt;
}

struct TVerb {
    std::string Name;
    std::string Command;
};

struct TApplication {
    std::string Name;
    std::vector<TVerb> Verbs;  // "open" first when the entry has a main Exec line
};

// The installed desktop entry of id, read the way the first folder that
// holds it has it; a hidden (deleted) entry counts as not installed.
std::optional<TApplication> LoadApplication(const std::string& id)
{
    for (const std::string& folder : ApplicationFolders()) {
        const auto path = LocateEntry(folder, id);
        if (!path)
            continue;
        const TKeyFile file = ReadKeyFile(*path);
        const TKeyFileGroup* entry = FindGroup(file, "Desktop Entry");
        if (entry == nullptr)
            return std::nullopt;
        const std::string* hidden = entry->Find("Hidden");
        if (hidden && *hidden == "true")
            return std::nullopt;
        TApplication app;
        if (const std::string* name = entry->Find("Name"))
            app.Name = Unescape(*name);
        if (const std::string* exec = entry->Find("Exec"); exec && !exec->empty())
            app.Verbs.push_back({"open", Unescape(*exec)});
        if (const std::string* actions = entry->Find("Actions")) {
            for (const std::string& action : SplitList(*actions, ';')) {
                const TKeyFileGroup* group = FindGroup(file, "Desktop Action " + action);
                const std::string* exec = group ? group->Find("Exec") : nullptr;
                const bool taken = std::any_of(app.Verbs.begin(), app.Verbs.end(),
                                               [&](const TVerb& v) { return v.Name == action; });
                if (exec && !taken)
                    app.Verbs.push_back({action, Unescape(*exec)});
            }
        }
        return app;
    }
    return std::nullopt;
}

std::optional<TApplication> DefaultApplication(const std::string& mimeType)
{
    for (const std::string& list : MimeAppsLists()) {
        if (!platform::IsFile(list))
            continue;
        const TKeyFile file = ReadKeyFile(list);
        const TKeyFileGroup* defaults = FindGroup(file, "Default Applications");
        const std::string* ids = defaults ? defaults->Find(mimeType) : nullptr;
        if (ids == nullptr)
            continue;
        for (const std::string& id : SplitList(*ids, ';'))
            if (auto app = LoadApplication(id))
                return app;
    }
    return std::nullopt;
}

std::optional<std::string> MimeTypeOfExtension(const std::string& extension)
{
    const QMimeDatabase database;
    const QMimeType type =
        database.mimeTypeForFile(QStringLiteral("file") + QString::fromStdString(extension), QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return std::nullopt;
    return type.name().toStdString();
}

// What a key path stands for once resolved.
struct TKey {
    bool Exists = false;
    std::optional<std::string> Value;
    std::vector<std::string> Subkeys;
};

TKey Resolve(const std::string& path)
{
    const std::vector<std::string> parts = SplitList(path, '\\');
    TKey key;
    if (parts.empty())
        return key;
    if (parts.size() == 1 && parts[0].front() == '.') {
        key.Value = MimeTypeOfExtension(parts[0]);
        key.Exists = key.Value.has_value();
        return key;
    }
    const auto app = DefaultApplication(parts[0]);
    if (!app)
        return key;
    if (parts.size() == 1) {
        key.Exists = true;
        key.Value = app->Name;
        key.Subkeys = {"shell"};
        return key;
    }
    if (parts[1] != "shell" || parts.size() > 4)
        return key;
    if (parts.size() == 2) {
        key.Exists = true;
        for (const TVerb& verb : app->Verbs)
            key.Subkeys.push_back(verb.Name);
        return key;
    }
    const auto verb = std::find_if(app->Verbs.begin(), app->Verbs.end(),
                                   [&](const TVerb& v) { return v.Name == parts[2]; });
    if (verb == app->Verbs.end())
        return key;
    key.Exists = true;
    if (parts.size() == 3) {
        key.Subkeys = {"command"};
    } else if (parts[3] == "command") {
        key.Value = verb->Command;
    } else {
        key.Exists = false;
    }
    return key;
}

} // namespace

bool TMimeAssociations::KeyExists(const std::string& Key) const
{
    return Resolve(Key).Exists;
}

TRegistryRead TMimeAssociations::ReadDefault(const std::string& Key, std::string& Value) const
{
    const TKey key = Resolve(Key);
    Value = key.Value.value_or(std::string());
    return key.Value ? rrText : rrMissing;
}

std::vector<std::string> TMimeAssociations::SubkeyNames(const std::string& Key) const
{
    return Resolve(Key).Subkeys;
}
