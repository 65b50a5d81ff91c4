// Folder repair.
#include "settings/folder_repair.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace {

// What making the folder the working directory would need: an existing, searchable folder,
// named from the root (a relative name would depend on where the program was started).
bool usableFolder(const std::string& path)
{
    struct stat info {};
    return !path.empty() && path.front() == '/' && stat(path.c_str(), &info) == 0 &&
           S_ISDIR(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// One level only, as the parent is made first.
void ensureFolder(const std::string& path)
{
    if (!usableFolder(path))
        mkdir(path.c_str(), 0755);
}

} // namespace

std::string localBrevonPath(const std::string& path, const std::string& home)
{
    static const std::string kWindowsRoot = "c:\\brevon";
    if (path.size() < kWindowsRoot.size())
        return path;
    std::string head = path.substr(0, kWindowsRoot.size());
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (head != kWindowsRoot ||
        (path.size() > kWindowsRoot.size() && path[kWindowsRoot.size()] != '\\'))
        return path;
    std::string rest = path.substr(kWindowsRoot.size());
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return home + "/Brevon" + rest;
}

std::string repairFolder(SettingsStore& store, const settings::Value& folder)
{
    const std::string stored = store.readString(folder.name, "");
    std::string current = localBrevonPath(stored, store.home());
    if (usableFolder(current)) {
        // A Windows-form value is written back in its form here, which every reader can use.
        if (current != stored)
            store.writeString(folder.name, current);
        return current;
    }

    std::string root = store.home() + "/Brevon";
    ensureFolder(root);
    std::string repaired = settings::expandHome(folder.installDefault, store.home());
    ensureFolder(repaired);
    store.writeString(folder.name, repaired);
    return repaired;
}
