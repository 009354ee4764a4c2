#ifndef KELBO_CONVDEF_INIFILE_H
#define KELBO_CONVDEF_INIFILE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/** @brief An INI file held as its lines, read and changed key by key, written back whole.
 *
 * Texts are byte strings (CP932); nothing is decoded. Section and key names match without regard to the case
 * of ASCII letters; the first section and the first key of a name count. A value is every byte after the first
 * "=" of its line, exactly as stored. Lines that are no key of interest (comments, unknown sections and keys,
 * blank lines) are kept as they stand when the file is written back; every line is written with CR LF. */
class IniFile
{
public:
    /** @brief How a file came in. */
    enum class Source
    {
        Loaded,
        Missing,
        Unreadable
    };

    /** @brief Parses a file's bytes; LF, CR LF and a lone CR all end a line. A UTF-8 byte order mark that a text
     * editor may have put in front is passed over when reading and kept when writing. */
    static IniFile parse(std::string_view content);

    /** @brief Reads the file at @p path; a missing or unreadable file gives an empty one (see source()). */
    static IniFile load(const std::string& path);

    Source source() const { return m_source; }

    /** @brief The value of the key, or nothing when the section or key is missing. */
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    /** @brief The value cut to at most @p capacity bytes (never half a double-byte character), else @p def. */
    std::string readString(std::string_view section, std::string_view key, const std::string& def,
                           std::size_t capacity = 1023) const;

    /** @brief The value as an integer: "0x"/"0X" or "$" hexadecimal, else signed decimal; @p def when the key is
     * missing or its value is no valid integer. */
    int readInteger(std::string_view section, std::string_view key, int def) const;

    /** @brief Sets the key, replacing its line in place; a new key goes after the section's last entry, a new
     * section at the end of the file. A value is cut at its first CR, LF or NUL byte: nothing after it could
     * be read back. */
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    /** @brief Removes the key's line; no effect when it is missing. */
    void removeKey(std::string_view section, std::string_view key);

    /** @brief The whole file as it would be written: every line ended by CR LF. */
    std::string text() const;

    /** @brief Writes text() to @p path atomically; false when it could not be written (the old file stays). */
    bool save(const std::string& path) const;

    /** @brief The integer rule of readInteger on a bare text. */
    static std::optional<int> parseInteger(std::string_view text);

private:
    int findSection(std::string_view section) const;
    int findKey(int sectionLine, std::string_view key) const;

    std::vector<std::string> m_lines;
    bool m_byteOrderMark = false;
    Source m_source = Source::Missing;
};

#endif
