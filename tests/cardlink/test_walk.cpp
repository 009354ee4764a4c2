// The walk of a transfer over a table: table positions with gaps, the UTC shift, the pass rule, stopping, and
// each record read once.
#include "MemoryTable.h"
#include "cardlink/TransferWalk.h"
#include "common/KelboError.h"
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
std::shared_ptr<MemoryTableData> sampleData()
{
    return memoryTableData({"DATE", "TIME", "CALL", "RST", "SEND"},
                           {
                               {"1999/12/31", "2330", "qx1abc", "599", ""}, // 0: UTC shift rolls the year
                               {"2000/05/03", "1234J", "qx2def", "579", ""}, // 1: Japanese time by its letter
                               {"2000/05/03", "1300", "", "599", ""}, // 2: no call sign
                               {"2000/05/04", "0100", "qx3ghi", "599", "F"}, // 3: already sent
                               {"2000/05/05", "0200", "qx4jkl", "599", " "}, // 4: blank mark: not sent
                           });
}

using Lines = std::vector<std::pair<long, std::string>>;

Lines walk(LogTable& table, bool utcToJst, bool allSend)
{
    Lines lines;
    for (TransferWalk w(table, logDefinition(), utcToJst, allSend); w.next();) {
        lines.emplace_back(w.position(), w.line());
    }
    return lines;
}

TEST(TransferWalk, PassedRecordsWithTheirTablePositions)
{
    const auto table = openMemoryTable(sampleData());
    const Lines lines = walk(*table, true, false);
    const Lines expected = {
        {0, "00.01.01,0830,QX1ABC,599,,,,\"\",\"\",\"\",,,0"},
        {1, "00.05.03,1234,QX2DEF,579,,,,\"\",\"\",\"\",,,0"},
        {4, "00.05.05,1100,QX4JKL,599,,,,\"\",\"\",\"\", ,,0"},
    };
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(table->AtEnd());
}

TEST(TransferWalk, WithoutUtcAndWithAllSend)
{
    const auto table = openMemoryTable(sampleData());
    const Lines lines = walk(*table, false, true);
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
    const auto data = sampleData();
    const auto table = openMemoryTable(data);
    std::vector<std::string> calls;
    TransferWalk w(*table, logDefinition(), true, false);
    while (w.next()) {
        EXPECT_EQ(table->RecNo(), w.position());
        EXPECT_EQ(w.texts(), data->rows[static_cast<std::size_t>(w.position())]);
        calls.push_back(w.texts()[2]);
        EXPECT_EQ(std::string(w.record().Call), calls.back() == "qx1abc" ? "QX1ABC" : "QX2DEF");
        if (calls.size() == 2) {
            break;
        }
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"qx1abc", "qx2def"}));
    EXPECT_EQ(table->RecNo(), 1);
    EXPECT_EQ(data->readRows, (std::vector<long>{0, 1}));
}

TEST(TransferWalk, EmptyTableAndFailingTable)
{
    const auto empty = openMemoryTable(memoryTableData({"DATE", "TIME", "CALL", "RST", "SEND"}, {}));
    EXPECT_TRUE(walk(*empty, true, false).empty());

    const auto data = sampleData();
    data->failingRows = {1};
    const auto broken = openMemoryTable(data);
    broken->MoveBy(3); // the walk starts from the first record wherever the table stands
    Lines lines;
    TransferWalk w(*broken, logDefinition(), true, false);
    ASSERT_TRUE(w.next());
    lines.emplace_back(w.position(), w.line());
    EXPECT_THROW(w.next(), KelboError);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(broken->RecNo(), 1) << "the table stands at the record that failed";
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
    for (TransferWalk walk(*table, defs, false, false); walk.next();) {
        lines.emplace_back(walk.position(), walk.line());
    }
    const Lines expected = {
        {0, "00.00.00,0000,QX1AB,,,,,\"\",\"\",\"\",,Y,0"},
        {2, "00.00.00,0000,QX3EF,,,,,\"\",\"\",\"\",,,0"},
        {3, "00.00.00,0000,QX4GH,,,,,\"\",\"\",\"\",,,0"},
        {5, "00.00.00,0000,QX6KL,,,,,\"\",\"\",\"\",,,0"},
    };
    EXPECT_EQ(lines, expected);
}

} // namespace
