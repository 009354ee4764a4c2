#ifndef KELBO_CONVDEF_TABLEDEFINITION_H
#define KELBO_CONVDEF_TABLEDEFINITION_H

#include "convert/ConvDefTable.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

/** @brief The field names a definition was made for: entry k belongs to the field named names[k] (CP932; "" where the
 * table had no field or the name is not known). */
using ConvDefNames = std::array<std::string, kConvDefCount>;

/** @brief The names of a table's first 64 fields as a definition keeps them. */
ConvDefNames NamesOfFields(const std::vector<std::string>& fieldNames);

/** @brief True when no name is known (a definition from a settings file or definition file that keeps none). */
bool NoNamesKnown(const ConvDefNames& names);

/** @brief A definition applied to a table's fields. */
struct BoundDefinition
{
    ConvDefTable entries;
    ConvDefNames names;
    /** Some entry that converts something names a field the table does not have: the definition was made for
     * another table. entries then hold what could be bound by name. */
    bool mismatch = false;
};

/** @brief Binds @p defs, made for the fields @p names, to a table whose fields are @p fieldNames: each entry moves to
 * the position of the field of its name (ASCII case ignored), wherever the table has it now. A definition without any
 * names keeps its positions and takes the table's names. @p sendField, when not empty, is the format's own send
 * field: "SEND" goes there whatever position the definition gave it. */
BoundDefinition BindDefinition(const ConvDefTable& defs, const ConvDefNames& names,
                               const std::vector<std::string>& fieldNames, const std::string& sendField = {});

/** @brief Puts the one "SEND" entry at the field named @p sendField (when the table has it and the name is not
 * empty); the entry there before is given up. */
void PlaceSendEntry(ConvDefTable& defs, const std::vector<std::string>& fieldNames, const std::string& sendField);

/** @brief True when some entry below @p fieldCount converts the call sign, and when some converts the date (a
 * template may do either). */
bool DefinesCall(const ConvDefTable& defs, int fieldCount);
bool DefinesDate(const ConvDefTable& defs, int fieldCount);

/** @brief The definition last used with each table file, kept in a file of the program's own beside the settings
 * file (KELBO.ini keeps its keys as they are). Lines in CP932, CR LF:
 *
 *     [TABLE]
 *     Path=/home/op/LOGDATA/LOG.ADI
 *     FIELD1=CALL
 *     NAME1=CALL
 *
 * Newest table first; the oldest are forgotten beyond kKept tables. */
class TableDefinitionStore
{
public:
    static constexpr std::size_t kKept = 200;

    /** @brief The file in @p baseDir (which ends in '/' or is empty). */
    static std::string PathIn(const std::string& baseDir);

    /** @brief Reads @p path; a missing or unreadable file is an empty store. */
    static TableDefinitionStore Load(const std::string& path);
    /** @brief The store a file's bytes @p data hold (lines that are none of the above are skipped). */
    static TableDefinitionStore Parse(std::string_view data);

    /** @brief The definition last used with the table file @p table (its full path); false when none. */
    bool Find(const std::string& table, ConvDefTable& defs, ConvDefNames& names) const;
    /** @brief Remembers @p defs and @p names for @p table, as the newest. */
    void Put(const std::string& table, const ConvDefTable& defs, const ConvDefNames& names);
    /** @brief The file's text. */
    std::string Text() const;
    /** @brief Writes the store to the path it was loaded from, in one step; false when that fails. */
    bool Save() const;

private:
    struct Entry
    {
        std::string table;
        ConvDefTable defs = NullConvDefTable();
        ConvDefNames names;
    };
    std::string m_path;
    std::vector<Entry> m_entries;
};

#endif
