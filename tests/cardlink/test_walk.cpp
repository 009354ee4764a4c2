// The walk of a transfer over a table: table positions with gaps, the UTC shift, the pass rule, stopping, and
// each record read once.
#include "../convert/MemoryLogTable.h"
#include "cardlink/TransferWalk.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

ConvDefTable logDefinition()
{
    ConvDefTable defs;
    defs.fill("NULL");
    defs[0] = "YY/MM/DD";
    defs[1] = "HHmmJ";
    defs[2] = "CALL";
    defs[3] = "RST";
    defs[4] = "SEND";
    return defs;
}

// date, time, call, report, sent mark
MemoryLogTable sampleTable()
{
    return MemoryLogTable(5,
                          {
                              {"1999/12/31", "2330", "qx1abc", "599", ""}, // 0: UTC shift rolls the year
                              {"2000/05/03", "1234J", "qx2def", "579", ""}, // 1: Japanese time by its letter
                              {"2000/05/03", "1300", "", "599", ""}, // 2: no call sign
                              {"2000/05/04", "0100", "qx3ghi", "599", "F"}, // 3: already sent
                              {"2000/05/05", "0200", "qx4jkl", "599", " "}, // 4: blank mark: not sent
                          });
}

using Lines = std::vector<std::pair<long, std::string>>;

Lines walk(MemoryLogTable& table, bool utcToJst, bool allSend)
{
    Lines lines;
    for (TransferWalk w(table, logDefinition(), utcToJst, allSend); w.next();) {
        lines.emplace_back(w.position(), w.line());
    }
    return lines;
}

TEST(TransferWalk, PassedRecordsWithTheirTablePositions)
{
    MemoryLogTable table = sampleTable();
    const Lines lines = walk(table, true, false);
    const Lines expected = {
        {0, "00.01.01,0830,QX1ABC,599,,,,\"\",\"\",\"\",,,0"},
        {1, "00.05.03,1234,QX2DEF,579,,,,\"\",\"\",\"\",,,0"},
        {4, "00.05.05,1100,QX4JKL,599,,,,\"\",\"\",\"\", ,,0"},
    };
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(table.AtEnd());
}

TEST(TransferWalk, WithoutUtcAndWithAllSend)
{
    MemoryLogTable table = sampleTable();
    const Lines lines = walk(table, false, true);
    const Lines expected = {
        {0, "99.12.31,2330,QX1ABC,599,,,,\"\",\"\",\"\",,,0"},
        {1, "00.05.03,1234,QX2DEF,579,,,,\"\",\"\",\"\",,,0"},
        {3, "00.05.04,0100,QX3GHI,599,,,,\"\",\"\",\"\",F,,0"},
        {4, "00.05.05,0200,QX4JKL,599,,,,\"\",\"\",\"\", ,,0"},
    };
    EXPECT_EQ(lines, expected);
}

TEST(TransferWalk, StandsAtEachPassedRecordAndReadsItOnce)
{
    MemoryLogTable table = sampleTable();
    std::vector<std::string> calls;
    TransferWalk w(table, logDefinition(), true, false);
    while (w.next()) {
        EXPECT_EQ(table.RecNo(), w.position());
        EXPECT_EQ(w.texts().size(), 5u);
        calls.push_back(w.texts()[2]);
        EXPECT_EQ(std::string(w.record().Call), calls.back() == "qx1abc" ? "QX1ABC" : "QX2DEF");
        if (calls.size() == 2) {
            break;
        }
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"qx1abc", "qx2def"}));
    EXPECT_EQ(table.RecNo(), 1);
    // Every field of the two records visited read once, for the conversion and the fingerprint alike.
    for (int field = 0; field < 5; ++field) {
        EXPECT_EQ(table.reads(field), 2) << field;
    }
}

TEST(TransferWalk, EmptyTableAndFailingTable)
{
    MemoryLogTable empty(5, {});
    EXPECT_TRUE(walk(empty, true, false).empty());

    MemoryLogTable broken = sampleTable();
    broken.MoveNext(); // the walk starts from the first record wherever the table stands
    broken.failingFields = {3};
    Lines lines;
    EXPECT_THROW(lines = walk(broken, true, false), KelboError);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(broken.RecNo(), 0);
}

} // namespace
