#include "convdef/IniFile.h"

#include "common/Ascii.h"
#include "common/Cp932.h"
#include "convdef/SafeFile.h"

#include <cstdint>

namespace {

using ascii::isBlank;

// The name between "[" and the first "]" that is no trail byte, or nothing when the line is no section line.
std::optional<std::string_view> sectionName(std::string_view line)
{
    line = ascii::trimBlanks(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (cp932::isLeadByte(c)) {
            ++i;
        } else if (c == ']') {
            return ascii::trimBlanks(line.substr(1, i - 1));
        }
    }
    return ascii::trimBlanks(line.substr(1));
}

bool isComment(std::string_view line)
{
    line = ascii::trimBlanks(line);
    return !line.empty() && line.front() == ';';
}

// '=' (0x3D) is never the trail byte of a double-byte character, so a plain search is safe.
std::optional<std::string_view> keyName(std::string_view line)
{
    if (isComment(line)) {
        return std::nullopt;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return ascii::trimBlanks(line.substr(0, eq));
}

} // namespace

IniFile IniFile::parse(std::string_view content)
{
    IniFile f;
    f.m_source = Source::Loaded;
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (content.substr(0, bom.size()) == bom) {
        f.m_byteOrderMark = true;
        content.remove_prefix(bom.size());
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\n' || content[i] == '\r') {
            f.m_lines.emplace_back(content.substr(start, i - start));
            if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < content.size()) {
        f.m_lines.emplace_back(content.substr(start));
    }
    return f;
}

IniFile IniFile::load(const std::string& path)
{
    std::string data;
    bool exists = false;
    if (!ReadWholeFile(path, data, &exists)) {
        IniFile f;
        f.m_source = exists ? Source::Unreadable : Source::Missing;
        return f;
    }
    return parse(data);
}

int IniFile::findSection(std::string_view section) const
{
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = sectionName(m_lines[i]);
        if (name && cp932::equalsNoCase(*name, section)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int IniFile::findKey(int sectionLine, std::string_view key) const
{
    for (std::size_t i = static_cast<std::size_t>(sectionLine) + 1; i < m_lines.size(); ++i) {
        if (sectionName(m_lines[i])) {
            break;
        }
        const auto name = keyName(m_lines[i]);
        if (name && cp932::equalsNoCase(*name, key)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const
{
    const int s = findSection(section);
    if (s < 0) {
        return std::nullopt;
    }
    const int k = findKey(s, key);
    if (k < 0) {
        return std::nullopt;
    }
    const std::string& line = m_lines[static_cast<std::size_t>(k)];
    return line.substr(line.find('=') + 1);
}

std::string IniFile::readString(std::string_view section, std::string_view key, const std::string& def,
                                std::size_t capacity) const
{
    const auto v = value(section, key);
    return v ? cp932::cut(*v, capacity) : def;
}

std::optional<int> IniFile::parseInteger(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    unsigned base = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return std::nullopt;
    }
    std::uint64_t v = 0;
    for (char c : s) {
        const int d = ascii::hexValue(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) {
            return std::nullopt;
        }
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu) {
            return std::nullopt;
        }
    }
    std::int64_t signedValue;
    if (base == 16) {
        // Hexadecimal spells the 32 bits: $FFFFFFFF is -1.
        signedValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    } else {
        signedValue = static_cast<std::int64_t>(v);
    }
    if (negative) {
        signedValue = -signedValue;
    }
    if (signedValue < INT32_MIN || signedValue > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(signedValue);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int def) const
{
    const auto v = value(section, key);
    if (!v) {
        return def;
    }
    return parseInteger(*v).value_or(def);
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    const auto end = value.find_first_of(std::string_view("\r\n\0", 3));
    if (end != std::string_view::npos) {
        value = value.substr(0, end);
    }
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).append("=").append(value);

    int s = findSection(section);
    if (s < 0) {
        m_lines.push_back("[" + std::string(section) + "]");
        m_lines.push_back(std::move(line));
        return;
    }
    const int k = findKey(s, key);
    if (k >= 0) {
        m_lines[static_cast<std::size_t>(k)] = std::move(line);
        return;
    }
    // After the section's last non-blank line, so that a blank line before the next section stays there.
    std::size_t insertAt = static_cast<std::size_t>(s) + 1;
    for (std::size_t i = insertAt; i < m_lines.size() && !sectionName(m_lines[i]); ++i) {
        if (!ascii::trimBlanks(m_lines[i]).empty()) {
            insertAt = i + 1;
        }
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

void IniFile::removeKey(std::string_view section, std::string_view key)
{
    const int s = findSection(section);
    const int k = s < 0 ? -1 : findKey(s, key);
    if (k >= 0) {
        m_lines.erase(m_lines.begin() + k);
    }
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value)
{
    writeString(section, key, std::to_string(value));
}

std::string IniFile::text() const
{
    std::string out = m_byteOrderMark ? "\xEF\xBB\xBF" : "";
    for (const auto& line : m_lines) {
        out.append(line).append("\r\n");
    }
    return out;
}

bool IniFile::save(const std::string& path) const
{
    return WriteFileAtomically(path, text());
}
