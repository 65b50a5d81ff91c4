// The text of the settings file, an INI file in the layout Qt's QSettings reads and writes, kept
// line by line: an edit rewrites only the lines of the values it sets, so comments, other
// sections and lines this program does not understand come through unchanged.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

using Values = std::map<std::string, std::string, std::less<>>;

class Document {
public:
    Document() = default;
    explicit Document(std::string_view text);

    // The values of a section, unescaped; a list reads as its items joined by ", ". A key given
    // twice reads as its last line.
    Values section(std::string_view name) const;
    // Sets every line of the key in the section, or adds one at the end of the section (adding
    // the section at the end of the text when there is none).
    void set(std::string_view section, std::string_view key, std::string_view value);
    // Removes the section's headers and every line under them.
    void removeSection(std::string_view name);
    // No section and no value.
    bool empty() const;
    std::string text() const;

private:
    enum class Kind { Other, Section, Key };
    struct Line {
        std::string raw;
        Kind kind = Kind::Other;
        // The unescaped name of a section header, or of the section a key line is in.
        std::string section;
        // The unescaped key of a key line.
        std::string key;
    };

    std::vector<Line> lines_;
    bool endsWithNewline_ = false;
};

// The escaped forms QSettings writes, and their reading.
std::string escapeKey(std::string_view key);
std::string escapeValue(std::string_view value);
std::string unescapeKey(std::string_view key);
std::string unescapeValue(std::string_view value);

} // namespace ini
