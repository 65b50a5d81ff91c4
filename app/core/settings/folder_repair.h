// Repair of the temporary and save folders at start-up: a folder value that is empty or names
// no usable folder is replaced by the default under "$HOME/Brevon", which is created if needed.
#pragma once

#include <string>

#include "settings/settings_store.h"

// Repairs TempFolder or SaveFolder (folder is one of those two entries) and returns the folder
// now recorded. A folder that cannot be created stays recorded as the default path.
std::string repairFolder(SettingsStore& store, const settings::Value& folder);

// A path written for the Windows layout ("C:\Brevon\Temp") in its form here ("$HOME/Brevon/Temp");
// other paths are returned as they are.
std::string localBrevonPath(const std::string& path, const std::string& home);
