// The settings store: integers and strings in the version section of the user's store file.
// Reads never touch the disk and never wait for a writer: the values live in an immutable
// snapshot that a write replaces whole, so the capture thread (25 blocks a second, a few reads
// each) and the window thread (writes) meet only at one atomic pointer. Writes go to the
// snapshot first, so the next read sees them at once, and then to the file, which is replaced
// atomically so that a crash never leaves it truncated.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "settings/settings_table.h"

class SettingsStore {
public:
    // A store kept in filePath (an INI file), in the given section; home is the user's home
    // folder, for the defaults that name it.
    SettingsStore(std::string filePath, std::string section, std::string home);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The user's own store: the product's organisation and application in the user's
    // configuration folder, the section named by the version text.
    static SettingsStore& instance();
    static std::string defaultFilePath();
    static std::string userHome();

    // A missing value, or an integer that is not a number in range, reads as the default.
    int readInt(std::string_view name, int defaultValue) const;
    std::string readString(std::string_view name, const std::string& defaultValue) const;
    // With the readers' default of the table.
    int readInt(const settings::Value& value) const;
    std::string readString(const settings::Value& value) const;

    // False when the value could not be kept on disk; it is still seen by reads in this run.
    bool writeInt(std::string_view name, int value);
    bool writeString(std::string_view name, const std::string& value);

    // Values that shadow the stored ones for this run only: reads see them, and writes to them
    // are dropped, so they never reach the file. Set before other threads use the store.
    void setOverride(std::string_view name, const std::string& value);

    // Installing: deletes the version section (and the whole store when no other section is
    // left), then writes the install defaults in their order, the window centred on a screen of
    // the given size.
    bool install(int screenWidth, int screenHeight);
    // Uninstalling: deletes the version section, and the whole store when no other is left.
    bool uninstall();

    const std::string& filePath() const { return filePath_; }
    const std::string& section() const { return section_; }
    const std::string& home() const { return home_; }
    // Why the last write failed.
    std::string lastError() const;

private:
    using Values = std::map<std::string, std::string, std::less<>>;

    void loadFromFile();
    bool persist(std::string_view name, const std::string& text);
    void publish(std::shared_ptr<const Values> values);
    bool removeSection();

    // Written only before other threads start; never changed while they read.
    Values overrides_;

    const std::string filePath_;
    const std::string section_;
    const std::string home_;

    // Written by any writer under writeMutex_, read by every reader without a lock.
    std::atomic<std::shared_ptr<const Values>> values_;
    // Serialises writers with each other and with the file; readers never take it.
    mutable std::mutex writeMutex_;
    std::string lastError_;
};
