#include "logtable/TextSchema.h"

#include "common/Cp932.h"
#include "common/FileLookup.h"
#include "common/KelboError.h"
#include "logtable/TableSupport.h"
#include "logtable/TextSplitter.h"

#include <cstdlib>
#include <map>
#include <unistd.h>

namespace logtable {

namespace {

using Kind = TextKind;

std::string upperAscii(std::string_view s)
{
    return cp932::toUpperAscii(s);
}

/** Values of a list in a schema line ("CALL,CHAR,12,0,0"): split at commas, no quotes. */
std::vector<std::string> schemaParts(std::string_view text)
{
    std::vector<std::string> parts;
    textsplit::splitRecord(text, textsplit::Dialect{',', '\0', &textsplit::cp932()}, nullptr, &parts);
    return parts;
}

} // namespace

TextKind textKindOf(const std::string& type)
{
    const std::string t = upperAscii(type);
    if (t == "CHAR" || t == "ALPHA" || t == "STRING") {
        return Kind::Text;
    }
    if (t == "FLOAT" || t == "NUMBER" || t == "LONGINT" || t == "SHORTINT" || t == "BCD" || t == "MONEY"
        || t == "CURRENCY" || t == "INTEGER" || t == "SMALLINT" || t == "AUTOINC") {
        return Kind::Number;
    }
    if (t == "DATE") {
        return Kind::Date;
    }
    if (t == "TIME") {
        return Kind::Time;
    }
    if (t == "BOOL" || t == "BOOLEAN" || t == "LOGICAL") {
        return Kind::Logical;
    }
    return Kind::Raw;
}

std::string findTextSchema(const std::string& tablePath)
{
    // Whatever has the name is the schema: one that is no regular file is refused when it is read.
    return filelookup::siblingFile(tablePath, {".sch"}, filelookup::Take::AnyEntry);
}

TextSchema readTextSchema(const std::string& tablePath, const std::string& schemaPath)
{
    auto failure = [&tablePath](const std::string& reason) { return openError(tablePath, reason); };
    TextSchema schema;
    int fd = -1;
    try {
        fd = logtable::openForReading(schemaPath); // a regular file only: a FIFO would never answer
    } catch (const KelboError&) {
        throw KelboError(failure("スキーマファイル " + schemaPath + " を読めません"));
    }
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1u << 20)) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::map<long, TextField> fields;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line = logtable::trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        const std::string_view clean = line.empty() || line.back() != '\r' ? line : line.substr(0, line.size() - 1);
        const std::size_t eq = clean.find('=');
        if (clean.empty() || clean.front() == '[' || clean.front() == ';' || eq == std::string_view::npos) {
            continue;
        }
        const std::string key = upperAscii(logtable::trim(clean.substr(0, eq)));
        const std::string_view value = logtable::trim(clean.substr(eq + 1));
        if (key == "CHARSET") {
            const std::string name = upperAscii(value);
            if (name == "UTF8" || name == "UTF-8" || name == "UTF_8") {
                schema.charset = TextCharset::Utf8;
            } else if (name == "SJIS" || name == "SHIFT_JIS" || name == "SHIFT-JIS" || name == "CP932"
                       || name == "MS932" || name == "WINDOWS-31J" || name == "JAPAN") {
                schema.charset = TextCharset::Cp932;
            }
            // Other names ("ascii", "ANSIINTL" ...) say nothing about the bytes above 0x7F: the content tells.
        } else if (key == "FILETYPE") {
            schema.fixed = upperAscii(value) == "FIXED";
        } else if (key == "DELIMITER") {
            schema.quote = value.empty() ? '\0' : value.front();
        } else if (key == "SEPARATOR") {
            schema.separator = upperAscii(value) == "TAB" ? '\t' : value.empty() ? ',' : value.front();
        } else if (key.size() > 5 && key.compare(0, 5, "FIELD") == 0) {
            char* stop = nullptr;
            const long number = std::strtol(key.c_str() + 5, &stop, 10);
            if (*stop != '\0' || number < 1 || number > 4096) {
                continue;
            }
            const std::vector<std::string> parts = schemaParts(value);
            TextField field;
            field.name = std::string(logtable::trim(parts[0]));
            field.kind = parts.size() > 1 ? textKindOf(std::string(logtable::trim(parts[1]))) : Kind::Text;
            field.width = parts.size() > 2 ? std::strtoul(parts[2].c_str(), nullptr, 10) : 0;
            field.offset = parts.size() > 4 ? std::strtoul(parts[4].c_str(), nullptr, 10) : 0;
            if (field.width > 65535 || field.offset > (1u << 20)) {
                throw KelboError(failure("スキーマファイル " + schemaPath + " のフィールド " + std::to_string(number)
                                         + " の定義が不正です"));
            }
            fields[number] = std::move(field);
        }
    }
    if (fields.empty()) {
        throw KelboError(failure("スキーマファイル " + schemaPath + " にフィールドの定義がありません"));
    }
    if (schema.fixed) {
        for (const auto& f : fields) {
            if (f.second.width == 0) {
                throw KelboError(failure("スキーマファイル " + schemaPath + " の"
                                         + fieldReason(f.second.name, "に長さがありません")));
            }
        }
    }
    for (auto& f : fields) {
        schema.fields.push_back(std::move(f.second));
    }
    return schema;
}

} // namespace logtable
