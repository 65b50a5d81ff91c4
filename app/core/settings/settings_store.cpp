// The settings store over QSettings' INI files.
#include "settings/settings_store.h"

#include <QSettings>
#include <QStringList>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "product.h"

namespace {

QString qt(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string errorText(QSettings::Status status, const std::string& path)
{
    switch (status) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return "cannot write the settings file " + path;
    case QSettings::FormatError:
        return "the settings file " + path + " is damaged";
    }
    return "cannot write the settings file " + path;
}

// Parses a whole decimal integer in the range of int, blanks around it allowed.
bool parseInt(std::string_view text, int& out)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        value < INT_MIN || value > INT_MAX)
        return false;
    out = static_cast<int>(value);
    return true;
}

} // namespace

SettingsStore::SettingsStore(std::string filePath, std::string section, std::string home)
    : filePath_(std::move(filePath)), section_(std::move(section)), home_(std::move(home))
{
    loadFromFile();
}

std::string SettingsStore::defaultFilePath()
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, product::kStoreOrganization,
                       product::kStoreApplication);
    return settings.fileName().toStdString();
}

std::string SettingsStore::userHome()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

SettingsStore& SettingsStore::instance()
{
    static SettingsStore store(defaultFilePath(), product::kVersionText, userHome());
    return store;
}

void SettingsStore::loadFromFile()
{
    auto values = std::make_shared<Values>();
    QSettings file(qt(filePath_), QSettings::IniFormat);
    // A damaged or unreadable file gives what could be read of it, possibly nothing; every
    // value missing from it reads as its default.
    file.beginGroup(qt(section_));
    for (const QString& key : file.childKeys()) {
        QVariant value = file.value(key);
        // An unquoted text with commas reads back as a list: it is still one text.
        QString text = value.typeId() == QMetaType::QStringList ? value.toStringList().join(", ")
                                                                : value.toString();
        values->emplace(key.toStdString(), text.toStdString());
    }
    publish(std::move(values));
}

void SettingsStore::publish(std::shared_ptr<const Values> values)
{
    values_.store(std::move(values), std::memory_order_release);
}

void SettingsStore::setOverride(std::string_view name, const std::string& value)
{
    std::lock_guard lock(writeMutex_);
    overrides_[std::string(name)] = value;
}

int SettingsStore::readInt(std::string_view name, int defaultValue) const
{
    int value = 0;
    if (!overrides_.empty()) {
        auto overridden = overrides_.find(name);
        if (overridden != overrides_.end())
            return parseInt(overridden->second, value) ? value : defaultValue;
    }
    auto values = values_.load(std::memory_order_acquire);
    auto found = values->find(name);
    if (found == values->end() || !parseInt(found->second, value))
        return defaultValue;
    return value;
}

std::string SettingsStore::readString(std::string_view name, const std::string& defaultValue) const
{
    if (!overrides_.empty()) {
        auto overridden = overrides_.find(name);
        if (overridden != overrides_.end())
            return overridden->second;
    }
    auto values = values_.load(std::memory_order_acquire);
    auto found = values->find(name);
    return found == values->end() ? defaultValue : found->second;
}

int SettingsStore::readInt(const settings::Value& value) const
{
    int fallback = 0;
    if (value.readDefault)
        parseInt(value.readDefault, fallback);
    return readInt(value.name, fallback);
}

std::string SettingsStore::readString(const settings::Value& value) const
{
    return readString(value.name, settings::expandHome(value.readDefault, home_));
}

bool SettingsStore::writeInt(std::string_view name, int value)
{
    return writeString(name, std::to_string(value));
}

bool SettingsStore::writeString(std::string_view name, const std::string& value)
{
    std::lock_guard lock(writeMutex_);
    // An overridden value keeps its value for the run and is never written.
    if (overrides_.find(name) != overrides_.end())
        return true;
    auto current = values_.load(std::memory_order_acquire);
    auto next = std::make_shared<Values>(*current);
    (*next)[std::string(name)] = value;
    publish(std::move(next));
    return persist(name, value);
}

bool SettingsStore::persist(std::string_view name, const std::string& text)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(filePath_).parent_path(), ignored);
    QSettings file(qt(filePath_), QSettings::IniFormat);
    file.beginGroup(qt(section_));
    file.setValue(qt(name), qt(text));
    file.endGroup();
    file.sync();
    // A file with damaged lines is rewritten with everything that could be read from it.
    QSettings::Status status =
        file.status() == QSettings::FormatError ? QSettings::NoError : file.status();
    lastError_ = errorText(status, filePath_);
    return status == QSettings::NoError;
}

bool SettingsStore::removeSection()
{
    QSettings file(qt(filePath_), QSettings::IniFormat);
    file.remove(qt(section_));
    bool empty = file.childGroups().isEmpty() && file.childKeys().isEmpty();
    file.sync();
    bool ok = file.status() == QSettings::NoError;
    lastError_ = errorText(file.status(), filePath_);
    if (empty) {
        std::error_code ignored;
        std::filesystem::remove(filePath_, ignored);
    }
    return ok;
}

bool SettingsStore::install(int screenWidth, int screenHeight)
{
    std::lock_guard lock(writeMutex_);
    removeSection();
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(filePath_).parent_path(), ignored);
    {
        QSettings file(qt(filePath_), QSettings::IniFormat);
        file.beginGroup(qt(section_));
        for (const settings::Value* value : settings::installOrder()) {
            QString text;
            if (value == &settings::XPos)
                text = QString::number((screenWidth - settings::kWindowWidth) / 2);
            else if (value == &settings::YPos)
                text = QString::number((screenHeight - settings::kWindowHeight) / 2);
            else
                text = qt(settings::expandHome(value->installDefault, home_));
            file.setValue(value->name, text);
        }
        file.endGroup();
        file.sync();
        lastError_ = errorText(file.status(), filePath_);
    }
    loadFromFile();
    return lastError_.empty();
}

bool SettingsStore::uninstall()
{
    std::lock_guard lock(writeMutex_);
    bool ok = removeSection();
    loadFromFile();
    return ok;
}

std::string SettingsStore::lastError() const
{
    std::lock_guard lock(writeMutex_);
    return lastError_;
}
