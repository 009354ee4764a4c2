#ifndef KELBO_LOGTABLE_TEXTSCHEMA_H
#define KELBO_LOGTABLE_TEXTSCHEMA_H

#include <cstddef>
#include <string>
#include <vector>

/** @brief The schema file NAME.sch beside a text table NAME.txt: its layout (delimited or fixed width, separator,
 * quote) and its fields with their types, widths and offsets. */
namespace logtable {

enum class TextKind
{
    Text,
    Number,
    Date,
    Time,
    Logical,
    Raw
};

struct TextField
{
    std::string name;
    TextKind kind = TextKind::Text;
    std::size_t width = 0; // 0: no declared width
    std::size_t offset = 0; // fixed-width files
};

/** @brief The character set a schema names: UTF-8, CP932, or nothing that tells the bytes above 0x7F. */
enum class TextCharset
{
    Unknown,
    Cp932,
    Utf8
};

struct TextSchema
{
    TextCharset charset = TextCharset::Unknown;
    bool fixed = false;
    char separator = ',';
    char quote = '"';
    std::vector<TextField> fields; // in the order of their numbers
};

/** @brief The kind of a schema type name (CHAR, NUMBER, DATE ..., any case); Raw for a name it does not know. */
TextKind textKindOf(const std::string& type);

/** @brief NAME.sch beside the table @p tablePath, the extension in any case; "" when there is none. */
std::string findTextSchema(const std::string& tablePath);

/** @brief Reads the schema file @p schemaPath of the table @p tablePath; throws KelboError (naming the table and
 * the schema file) when it cannot be read or defines no usable fields. */
TextSchema readTextSchema(const std::string& tablePath, const std::string& schemaPath);

} // namespace logtable

#endif
