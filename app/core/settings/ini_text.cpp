// The settings file's text, read and edited as QSettings reads and writes its INI files.
#include "settings/ini_text.h"

#include <cstdio>

namespace ini {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (isBlank(text.front()) || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        code &= 0xFFFF;
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Trailing blanks of an unquoted value are not part of it; those that came from an escape are.
void chopTrailingBlanks(std::string& text, size_t limit)
{
    while (text.size() > limit && isBlank(text.back()))
        text.pop_back();
}

// What QSettings makes of a stored text that begins with '@'.
std::string fromStoredText(std::string text)
{
    if (text.rfind("@@", 0) == 0)
        return text.substr(1);
    if (text == "@Invalid()")
        return {};
    if (text.rfind("@ByteArray(", 0) == 0 && text.back() == ')')
        return text.substr(11, text.size() - 12);
    return text;
}

} // namespace

std::string escapeKey(std::string_view key)
{
    std::string out;
    for (char c : key) {
        auto ch = static_cast<unsigned char>(c);
        if (ch == '/') {
            out += '\\';
        } else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                   (ch >= '0' && ch <= '9') || ch == '_' || ch == '-' || ch == '.') {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", ch);
            out += hex;
        }
    }
    return out;
}

std::string unescapeKey(std::string_view key)
{
    std::string out;
    for (size_t i = 0; i < key.size();) {
        char c = key[i];
        if (c == '\\') {
            out += '/';
            ++i;
            continue;
        }
        if (c != '%' || i + 1 >= key.size()) {
            out += c;
            ++i;
            continue;
        }
        size_t first = i + 1;
        size_t digits = 2;
        if (key[first] == 'U') {
            ++first;
            digits = 4;
        }
        unsigned code = 0;
        bool ok = first + digits <= key.size();
        for (size_t d = 0; ok && d < digits; ++d) {
            int value = hexDigit(key[first + d]);
            ok = value >= 0;
            code = code * 16 + static_cast<unsigned>(value);
        }
        if (!ok) {
            out += '%';
            ++i;
            continue;
        }
        if (digits == 2)
            out += static_cast<char>(code); // a byte of the key as it was written
        else
            appendUtf8(out, code);
        i = first + digits;
    }
    return out;
}

std::string escapeValue(std::string_view value)
{
    std::string text(value);
    if (!text.empty() && text.front() == '@')
        text.insert(text.begin(), '@');
    std::string out;
    bool needsQuotes = false;
    bool escapeNextIfHexDigit = false;
    for (char c : text) {
        auto ch = static_cast<unsigned char>(c);
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        if (escapeNextIfHexDigit && hexDigit(c) >= 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%x", ch);
            out += hex;
            continue;
        }
        escapeNextIfHexDigit = false;
        switch (ch) {
        case '\0':
            out += "\\0";
            escapeNextIfHexDigit = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += c;
            break;
        default:
            if (ch <= 0x1F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%x", ch);
                out += hex;
                escapeNextIfHexDigit = true;
            } else {
                out += c;
            }
        }
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) {
        out.insert(out.begin(), '"');
        out.push_back('"');
    }
    return out;
}

std::string unescapeValue(std::string_view raw)
{
    static constexpr char kEscapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                           {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                           {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    std::vector<std::string> items;
    std::string text;
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < raw.size() && isBlank(raw[i]))
            ++i;
    };
    skipBlanks();
    size_t chopLimit = 0;
    while (i < raw.size()) {
        char c = raw[i];
        if (c == '\\') {
            if (++i >= raw.size())
                break;
            char code = raw[i++];
            bool simple = false;
            for (const auto& escape : kEscapes) {
                if (code == escape[0]) {
                    text += escape[1];
                    simple = true;
                    break;
                }
            }
            if (!simple && code == 'x') {
                unsigned value = 0;
                while (i < raw.size() && hexDigit(raw[i]) >= 0)
                    value = (value * 16 + static_cast<unsigned>(hexDigit(raw[i++]))) & 0xFFFF;
                appendUtf8(text, value);
            } else if (!simple && code >= '0' && code <= '7') {
                unsigned value = static_cast<unsigned>(code - '0');
                while (i < raw.size() && raw[i] >= '0' && raw[i] <= '7')
                    value = (value * 8 + static_cast<unsigned>(raw[i++] - '0')) & 0xFFFF;
                appendUtf8(text, value);
            }
            // Any other escaped character, a line break among them, is dropped.
            chopLimit = text.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
                chopLimit = text.size();
            }
        } else if (c == ',' && !inQuotes) {
            if (!quoted)
                chopTrailingBlanks(text, chopLimit);
            isList = true;
            items.push_back(std::move(text));
            text.clear();
            quoted = false;
            ++i;
            skipBlanks();
            chopLimit = 0;
        } else {
            size_t end = i + 1;
            while (end < raw.size() && raw[end] != '\\' && raw[end] != '"' && raw[end] != ',')
                ++end;
            text.append(raw.substr(i, end - i));
            i = end;
        }
    }
    if (!quoted)
        chopTrailingBlanks(text, chopLimit);
    if (!isList)
        return fromStoredText(std::move(text));
    items.push_back(std::move(text));
    std::string joined;
    for (size_t k = 0; k < items.size(); ++k) {
        if (k)
            joined += ", ";
        joined += fromStoredText(std::move(items[k]));
    }
    return joined;
}

Document::Document(std::string_view text)
{
    std::string current; // the section the lines are in; "" before any header
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        Line line;
        line.raw = std::string(text.substr(start, end - start));
        std::string_view body = line.raw;
        if (start == 0 && body.rfind("\xEF\xBB\xBF", 0) == 0)
            body.remove_prefix(3);
        body = trim(body);
        if (!body.empty() && body.front() == '[') {
            size_t close = body.find(']');
            if (close != std::string_view::npos) {
                std::string_view name = trim(body.substr(1, close - 1));
                bool general = name.size() == 7 && (name == "General" || name == "general");
                current = general ? std::string() : unescapeKey(name);
                line.kind = Kind::Section;
                line.section = current;
            }
        } else if (!body.empty() && body.front() != ';' && body.front() != '#') {
            size_t equals = body.find('=');
            std::string_view key = equals == std::string_view::npos ? std::string_view()
                                                                    : trim(body.substr(0, equals));
            if (!key.empty()) {
                line.kind = Kind::Key;
                line.section = current;
                line.key = unescapeKey(key);
            }
        }
        lines_.push_back(std::move(line));
        start = end + 1;
    }
    endsWithNewline_ = !text.empty() && text.back() == '\n';
}

Values Document::section(std::string_view name) const
{
    Values values;
    for (const Line& line : lines_) {
        if (line.kind != Kind::Key || line.section != name)
            continue;
        std::string_view raw = line.raw;
        std::string_view value = raw.substr(raw.find('=') + 1);
        while (!value.empty() && value.back() == '\r')
            value.remove_suffix(1);
        values[line.key] = unescapeValue(value);
    }
    return values;
}

void Document::set(std::string_view section, std::string_view key, std::string_view value)
{
    std::string raw = escapeKey(key) + "=" + escapeValue(value);
    bool found = false;
    size_t insertAt = lines_.size();
    bool sectionSeen = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        Line& line = lines_[i];
        if (line.section != section || line.kind == Kind::Other)
            continue;
        if (line.kind == Kind::Key && line.key == key) {
            line.raw = raw;
            found = true;
        }
        // New keys go after the section's last header or key line.
        insertAt = i + 1;
        sectionSeen = true;
    }
    if (found)
        return;
    Line line{raw, Kind::Key, std::string(section), std::string(key)};
    if (section.empty() && !sectionSeen) {
        lines_.insert(lines_.begin(), std::move(line));
        return;
    }
    if (!sectionSeen) {
        // A new section at the end, a blank line before it as QSettings writes them.
        while (!lines_.empty() && lines_.back().kind == Kind::Other &&
               trim(lines_.back().raw).empty())
            lines_.pop_back();
        if (!lines_.empty())
            lines_.push_back(Line{});
        std::string name(section);
        std::string header = escapeKey(name);
        header.insert(header.begin(), '[');
        header.push_back(']');
        lines_.push_back(Line{std::move(header), Kind::Section, name, {}});
        insertAt = lines_.size();
        endsWithNewline_ = true;
    }
    if (insertAt == lines_.size())
        endsWithNewline_ = true;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

void Document::removeSection(std::string_view name)
{
    std::vector<Line> kept;
    bool inside = name.empty();
    for (Line& line : lines_) {
        if (line.kind == Kind::Section)
            inside = line.section == name;
        if (!inside)
            kept.push_back(std::move(line));
    }
    lines_ = std::move(kept);
}

bool Document::empty() const
{
    for (const Line& line : lines_) {
        if (line.kind != Kind::Other)
            return false;
    }
    return true;
}

std::string Document::text() const
{
    std::string out;
    for (size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i].raw;
        if (i + 1 < lines_.size() || endsWithNewline_)
            out += '\n';
    }
    return out;
}

} // namespace ini
