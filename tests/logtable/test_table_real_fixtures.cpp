// Tables made by other programs: each opens and reads to its end, or is refused with a clear error.
#include "TableFixtures.h"

#include "common/KelboError.h"

#include <QDirIterator>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace fixtures;

TEST(TableRealFixtures, EveryTableOpensAndReadsOrIsRefusedClearly)
{
    const QString root = QStringLiteral(KELBO_FIXTURES_DIR);
    if (!QFileInfo(root).isDir()) {
        GTEST_SKIP() << "no real-world tables at " << KELBO_FIXTURES_DIR;
    }
    int opened = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString suffix = info.suffix().toLower();
        if (suffix != "db" && suffix != "dbf") {
            continue;
        }
        SCOPED_TRACE(info.filePath().toStdString());
        auto table = createLogTable();
        try {
            table->OpenTable(info.path().toStdString(), info.fileName().toStdString());
        } catch (const KelboError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(info.fileName().toStdString()), std::string::npos) << message;
            EXPECT_FALSE(table->IsOpen());
            continue;
        }
        ++opened;
        EXPECT_GT(table->FieldCount(), 0);
        long records = 0;
        for (table->MoveFirst(); !table->AtEnd(); table->MoveNext()) {
            for (int f = 0; f < table->FieldCount(); ++f) {
                table->FieldName(f);
                table->FieldText(f);
            }
            ++records;
        }
        EXPECT_EQ(records, table->RecordCount());
    }
    EXPECT_GT(opened, 0);
}

// Values whose forms are known from the programs that made them.
TEST(TableRealFixtures, KnownValues)
{
    const std::string root = KELBO_FIXTURES_DIR;
    if (!QFileInfo(QString::fromStdString(root)).isDir()) {
        GTEST_SKIP() << "no real-world tables";
    }
    struct Known
    {
        const char* dir;
        const char* name;
        long row;
        int field;
        const char* text;
    };
    const Known cases[] = {
        {"/paradox/db", "ORDERS.DB", 0, 2, "1988/04/03"}, // date
        {"/paradox/db", "ORDERS.DB", 0, 5, "7320"}, // currency
        {"/paradox/db", "CUSTOMER.DB", 0, 8, "Small comment (less 100 symbols)"}, // memo held in the record
        {"/paradox/fields", "bcd.db", 0, 2, "0.123"}, // BCD with 32 decimals
        {"/paradox/fields", "bcd.db", 1, 0, "-1.23"},
        {"/paradox/fields", "long.db", 2, 1, ""}, // blank long, not its smallest value
        {"/paradox/fields", "time.db", 0, 0, "1:00:01"},
        {"/paradox/fields", "timestamp.db", 1, 0, "2020/02/01 1:00:01"},
        {"/paradox/fields", "logical.db", 1, 0, "False"},
        {"/paradox/fields", "date7.db", 3, 0, ""},
        {"/dbase", "roads.dbf", 0, 4, " 81"}, // leading blanks stay
        {"/dbase", "anno.dbf", 0, 2, "486089.531"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " row " + std::to_string(c.row));
        auto table = open(root + c.dir, c.name);
        EXPECT_EQ(table->CellText(c.row, c.field), c.text);
    }
}
