// The walk of a transfer over a table: table positions with gaps, the UTC shift, the pass rule, stopping and
// progress.
#include "../convert/MemoryLogTable.h"
#include "cardlink/TransferWalk.h"
#include "logtable/LogTable.h"

#include <QFile>
#include <QTemporaryDir>

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

Lines walk(MemoryLogTable& table, WalkOptions options, WalkResult* result = nullptr)
{
    Lines lines;
    const WalkResult r = TransferWalk(table, logDefinition(), options, [&](const WalkItem& item) {
        lines.emplace_back(item.position, item.line);
        return true;
    });
    if (result) {
        *result = r;
    }
    return lines;
}

TEST(TransferWalk, PassedRecordsWithTheirTablePositions)
{
    MemoryLogTable table = sampleTable();
    WalkResult result;
    const Lines lines = walk(table, WalkOptions{1, false}, &result);
    const Lines expected = {
        {0, "00.01.01,0830,QX1ABC,599,,,,\"\",\"\",\"\",,,0"},
        {1, "00.05.03,1234,QX2DEF,579,,,,\"\",\"\",\"\",,,0"},
        {4, "00.05.05,1100,QX4JKL,599,,,,\"\",\"\",\"\", ,,0"},
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(result.visited, 5);
    EXPECT_EQ(result.passed, 3);
    EXPECT_FALSE(result.stopped);
    EXPECT_TRUE(table.AtEnd());
}

TEST(TransferWalk, WithoutUtcAndWithAllSend)
{
    MemoryLogTable table = sampleTable();
    const Lines lines = walk(table, WalkOptions{0, true});
    const Lines expected = {
        {0, "99.12.31,2330,QX1ABC,599,,,,\"\",\"\",\"\",,,0"},
        {1, "00.05.03,1234,QX2DEF,579,,,,\"\",\"\",\"\",,,0"},
        {3, "00.05.04,0100,QX3GHI,599,,,,\"\",\"\",\"\",F,,0"},
        {4, "00.05.05,0200,QX4JKL,599,,,,\"\",\"\",\"\", ,,0"},
    };
    EXPECT_EQ(lines, expected);
}

TEST(TransferWalk, SinkSeesTheTableAtItsRecordAndCanStop)
{
    MemoryLogTable table = sampleTable();
    std::vector<std::string> calls;
    std::vector<long> progress;
    const WalkResult result = TransferWalk(
        table, logDefinition(), WalkOptions{1, false},
        [&](const WalkItem& item) {
            calls.push_back(item.table.FieldText(2));
            EXPECT_EQ(item.table.RecNo(), item.position);
            EXPECT_EQ(std::string(item.record.Call), calls.back() == "qx1abc" ? "QX1ABC" : "QX2DEF");
            return calls.size() < 2;
        },
        [&](long visited) { progress.push_back(visited); });
    EXPECT_EQ(calls, (std::vector<std::string>{"qx1abc", "qx2def"}));
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.passed, 2);
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_EQ(progress, (std::vector<long>{1, 2}));
}

TEST(TransferWalk, EmptyTableAndFailingTable)
{
    MemoryLogTable empty(5, {});
    WalkResult result;
    EXPECT_TRUE(walk(empty, WalkOptions{}, &result).empty());
    EXPECT_EQ(result.visited, 0);

    MemoryLogTable broken = sampleTable();
    broken.MoveNext(); // the walk starts from the first record wherever the table stands
    broken.failingFields = {3};
    Lines lines;
    EXPECT_THROW(TransferWalk(broken, logDefinition(), WalkOptions{},
                              [&](const WalkItem& item) {
                                  lines.emplace_back(item.position, item.line);
                                  return true;
                              }),
                 KelboError);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(broken.RecNo(), 0);
}

} // namespace

namespace {

// An ADIF log in its own terms: QSL_SENT absent, N, R and Q are not yet sent and carry no mark on the card; a
// QSL_RCVD of N, R or I is no card received.
TEST(TransferWalk, AdifLogPassesByItsOwnMarks)
{
    QTemporaryDir dir;
    {
        QFile log(dir.path() + "/log.adi");
        ASSERT_TRUE(log.open(QIODevice::WriteOnly));
        log.write("<CALL:5>QX1AB <QSL_SENT:1>N <QSL_RCVD:1>Y <EOR>\n"
                  "<CALL:5>QX2CD <QSL_SENT:1>Y <QSL_RCVD:1>N <EOR>\n"
                  "<CALL:5>QX3EF <qsl_sent:1>r <QSL_RCVD:1>R <EOR>\n"
                  "<CALL:5>QX4GH <QSL_SENT:1>Q <EOR>\n"
                  "<CALL:5>QX5IJ <QSL_SENT:1>I <EOR>\n"
                  "<CALL:5>QX6KL <QSL_RCVD:1>I <EOR>\n");
    }
    auto table = createLogTable();
    table->OpenTable(dir.path().toStdString(), "log.adi");
    ConvDefTable defs;
    defs.fill("NULL");
    defs[0] = "CALL";
    defs[1] = "RECV"; // the fields: CALL, QSL_RCVD, then QSL_SENT and QSL_SDATE last
    defs[2] = "SEND";
    Lines lines;
    TransferWalk(*table, defs, WalkOptions{0, false}, [&](const WalkItem& item) {
        lines.emplace_back(item.position, item.line);
        return true;
    });
    const Lines expected = {
        {0, "00.00.00,0000,QX1AB,,,,,\"\",\"\",\"\",,Y,0"},
        {2, "00.00.00,0000,QX3EF,,,,,\"\",\"\",\"\",,,0"},
        {3, "00.00.00,0000,QX4GH,,,,,\"\",\"\",\"\",,,0"},
        {5, "00.00.00,0000,QX6KL,,,,,\"\",\"\",\"\",,,0"},
    };
    EXPECT_EQ(lines, expected);
}

} // namespace
