#ifndef KELBO_TESTS_LOGTABLE_TABLEFIXTURES_H
#define KELBO_TESTS_LOGTABLE_TABLEFIXTURES_H

// Small tables made on the spot for the log table tests, with the shared table writers.
#include "TableWriters.h"
#include "common/Cp932.h"
#include "logtable/LogTable.h"

extern "C" {
#include <paradox.h>
}

#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fixtures {

using tablewrite::readFile;

inline void writeFile(const std::string& path, const std::string& bytes)
{
    ASSERT_TRUE(tablewrite::writeFile(path, bytes)) << path;
}

struct TempDir
{
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString() + "/"; }
    std::string file(const std::string& name) const { return path() + name; }
};

/** CP932 bytes of a UTF-8 literal. */
inline std::string sj(const char* utf8)
{
    return cp932::fromUtf8(utf8);
}

using tablewrite::bigEndian;
using tablewrite::DbfField;
using tablewrite::pxAlpha;
using tablewrite::pxBlank;
using tablewrite::pxDate;
using tablewrite::pxDays;
using tablewrite::pxDouble;
using tablewrite::PxField;
using tablewrite::pxLogical;
using tablewrite::pxLong;
using tablewrite::pxShort;
using tablewrite::pxTimestamp;

/** A Paradox table; each row holds the stored bytes of every field. @p patchTypes changes field types in
 * the header afterwards (to make fields pxlib's writer does not make, such as memos). */
inline void makeParadox(const std::string& path, const std::vector<PxField>& fields,
                        const std::vector<std::vector<std::string>>& rows,
                        const std::vector<std::pair<int, int>>& patchTypes = {})
{
    tablewrite::ParadoxOptions options;
    options.patchTypes = patchTypes;
    ASSERT_EQ(tablewrite::writeParadox(path, fields, rows, options), "");
}

/** A dBASE III table; each row holds the stored text of every field (padded to its width with blanks),
 * a row whose first value begins with '\x01' is marked deleted. */
inline std::string dbfBytes(const std::vector<DbfField>& fields, const std::vector<std::vector<std::string>>& rows,
                            long claimedRecords = -1)
{
    tablewrite::DbaseOptions options;
    options.claimedRecords = claimedRecords;
    return tablewrite::dbaseBytes(fields, rows, options);
}

inline std::unique_ptr<LogTable> open(const std::string& dir, const std::string& name)
{
    auto table = createLogTable();
    table->OpenTable(dir, name);
    return table;
}

/** Every field text of every record, walked with MoveFirst / MoveNext. */
inline std::vector<std::vector<std::string>> walk(LogTable& table)
{
    std::vector<std::vector<std::string>> rows;
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
        std::vector<std::string> row;
        for (int f = 0; f < table.FieldCount(); ++f) {
            row.push_back(table.FieldText(f));
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace fixtures

#endif
