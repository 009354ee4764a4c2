// Writing a field: only its bytes change, the text is cut to the field's width without splitting a
// double-byte character, the edit is posted by the next move, and a write that cannot be done safely is
// refused with a clear error and leaves the file as it was.
#include "TableFixtures.h"

#include "common/KelboError.h"

#include <QFile>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace fixtures;

namespace {

constexpr int kRem = 10; // REM, 40 bytes
constexpr int kName = 7; // NAME, 20 bytes
constexpr int kQth = 8; // QTH, 30 bytes
constexpr int kSend = 11; // SEND, 1 byte

class TableEdits : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        for (const char* f : {"LOG.DB", "LOG.DBF", "LOG.TXT", "LOG.SCH"}) {
            ASSERT_TRUE(QFile::copy(QString(KELBO_SAMPLE_DIR "/") + f, QString::fromStdString(tmp.file(f))));
            ::chmod(tmp.file(f).c_str(), 0644);
        }
        path = tmp.file(GetParam());
        table = open(tmp.path(), GetParam());
    }

    std::vector<std::vector<std::string>> reread()
    {
        auto again = open(tmp.path(), GetParam());
        return walk(*again);
    }

    void expectRefused(const std::function<void()>& write, const std::string& reason)
    {
        const std::string before = readFile(path);
        try {
            write();
            ADD_FAILURE() << "the write succeeded";
        } catch (const KelboError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
        EXPECT_EQ(readFile(path), before) << "nothing is written";
    }

    TempDir tmp;
    std::string path;
    std::unique_ptr<LogTable> table;
};

} // namespace

TEST_P(TableEdits, OnlyTheFieldsBytesChange)
{
    const auto rowsBefore = walk(*table);
    const std::string before = readFile(path);
    const std::string remark = sj("QSL ありがとう ｶｰﾄﾞ");

    table->MoveTo(4);
    table->EditRecord();
    table->SetFieldText(kRem, remark);
    EXPECT_EQ(table->FieldText(kRem), remark) << "the edited record shows the new text";
    EXPECT_EQ(readFile(path), before) << "not yet posted";
    table->MoveNext();
    const std::string after = readFile(path);

    if (std::string(GetParam()) == "LOG.TXT") {
        std::string expected = before;
        const std::string old = "\"" + rowsBefore[4][kRem] + "\"";
        const std::size_t line = expected.find("\"" + rowsBefore[4][2] + "\"");
        expected.replace(expected.find(old, line), old.size(), "\"" + remark + "\"");
        EXPECT_EQ(after, expected);
    } else {
        ASSERT_EQ(after.size(), before.size());
        std::size_t first = before.size();
        std::size_t last = 0;
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (before[i] != after[i]) {
                first = std::min(first, i);
                last = i;
            }
        }
        ASSERT_LT(first, before.size());
        EXPECT_LT(last - first, 40u) << "every changed byte lies inside the 40 bytes of REM";
        EXPECT_EQ(after.substr(first, remark.size()), remark);
    }

    auto expected = rowsBefore;
    expected[4][kRem] = remark;
    EXPECT_EQ(reread(), expected);
    EXPECT_EQ(table->CellText(4, kRem), remark) << "the open table reads its own write";
}

TEST_P(TableEdits, TextsAreCutToTheDeclaredWidthWithoutSplittingACharacter)
{
    table->EditRecord();
    table->SetFieldText(kName, "a" + sj("一二三四五六七八九十")); // 21 bytes into 20: the last kanji goes whole
    table->SetFieldText(kQth, sj("北海道札幌市中央区北一条西二丁目")); // 32 bytes into 30
    table->SetFieldText(kSend, "FX");
    table->Post();
    const auto rows = reread();
    EXPECT_EQ(rows[0][kName], "a" + sj("一二三四五六七八九"));
    EXPECT_EQ(rows[0][kQth], sj("北海道札幌市中央区北一条西二丁"));
    EXPECT_EQ(rows[0][kSend], "F");
}

TEST_P(TableEdits, CloseAndMoveToPostAPendingEdit)
{
    table->MoveTo(1);
    table->EditRecord();
    table->SetFieldText(kSend, "F");
    table->MoveTo(3);
    table->EditRecord();
    table->SetFieldText(kRem, "closing");
    table->CloseTable();
    const auto rows = reread();
    EXPECT_EQ(rows[1][kSend], "F");
    EXPECT_EQ(rows[3][kRem], "closing");
}

TEST_P(TableEdits, ReadOnlyFileIsRefusedAndTheTableGoesOn)
{
    ::chmod(path.c_str(), 0444);
    expectRefused(
        [&] {
            table->EditRecord();
            table->SetFieldText(kSend, "X");
            table->MoveNext();
        },
        "読み取り専用");
    EXPECT_EQ(table->RecNo(), 0) << "a failed post does not move";
    table->MoveNext(); // the failed edit is dropped, not retried
    EXPECT_EQ(table->RecNo(), 1);
}

TEST_P(TableEdits, FileChangedUnderUsIsRefused)
{
    // Another program rewrites the table after it was opened.
    std::string changed = readFile(path);
    writeFile(path, changed);
    struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    expectRefused(
        [&] {
            table->EditRecord();
            table->SetFieldText(kSend, "X");
            table->Post();
        },
        "変更しました");
}

TEST_P(TableEdits, LockedByAnotherProgramIsRefused)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    expectRefused(
        [&] {
            table->EditRecord();
            table->SetFieldText(kSend, "X");
            table->Post();
        },
        "使用中");
    ::close(fd);
}

TEST_P(TableEdits, NonTextFieldIsNotWritten)
{
    expectRefused(
        [&] {
            table->EditRecord();
            table->SetFieldText(0, "2024/01/01"); // DATE
            table->Post();
        },
        "DATE");
}

namespace {

/** The file @p before with SEND of each of @p rows set to "X": one byte in a binary table, the quoted value in
 * the sample's text table (whose lines end in ,"SEND","RECV"). */
std::string withSendMarks(const std::string& format, std::string bytes, const std::vector<long>& rows,
                          const std::vector<std::vector<std::string>>& texts)
{
    if (format != "LOG.TXT") {
        return bytes; // checked byte by byte by the caller
    }
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', at), bytes.size() - 1) + 1;
        lines.push_back(bytes.substr(at, end - at));
        at = end;
    }
    for (const long row : rows) {
        std::string& line = lines[static_cast<std::size_t>(row)];
        const std::size_t recv = line.rfind(',');
        const std::size_t send = line.rfind(',', recv - 1);
        EXPECT_EQ(line.substr(send + 1, recv - send - 1), "\"" + texts[row][kSend] + "\"");
        line.replace(send + 1, recv - send - 1, "\"X\"");
    }
    bytes.clear();
    for (const auto& line : lines) {
        bytes += line;
    }
    return bytes;
}

} // namespace

// A batch writes each mark's bytes only, shows them at once, and syncs (or rewrites a text table) once.
TEST_P(TableEdits, BatchWritesOnlyTheMarkedFields)
{
    const auto rowsBefore = walk(*table);
    const std::string before = readFile(path);
    const std::vector<long> rows = {1, 3, 4, 6};
    {
        WriteBatch batch(*table);
        WriteBatch nested(*table); // batches nest: only the outer end writes
        for (const long row : rows) {
            table->MoveTo(row);
            table->EditRecord();
            table->SetFieldText(kSend, "X");
        }
        nested.end();
        table->MoveTo(4);
        EXPECT_EQ(table->FieldText(kSend), "X") << "the batch's own marks read back before it ends";
        table->EditRecord();
        table->SetFieldText(kSend, "X"); // the last edit is still pending: the end posts it
        batch.end();
    }
    const std::string after = readFile(path);
    if (std::string(GetParam()) == "LOG.TXT") {
        EXPECT_EQ(after, withSendMarks(GetParam(), before, rows, rowsBefore));
    } else {
        ASSERT_EQ(after.size(), before.size());
        std::vector<std::size_t> changed;
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (before[i] != after[i]) {
                changed.push_back(i);
                EXPECT_EQ(after[i], 'X');
            }
        }
        EXPECT_EQ(changed.size(), rows.size()) << "one byte per marked record";
    }
    auto expected = rowsBefore;
    for (const long row : rows) {
        expected[static_cast<std::size_t>(row)][kSend] = "X";
    }
    EXPECT_EQ(reread(), expected);
    EXPECT_EQ(walk(*table), expected) << "the open table reads on after the batch";

    // Outside a batch an edit is written at once again.
    table->MoveTo(0);
    table->EditRecord();
    table->SetFieldText(kSend, "Y");
    table->Post();
    EXPECT_EQ(reread()[0][kSend], "Y");
}

// Another program changes a record while a batch runs: that mark is refused, the marks posted before it are
// written when the batch ends, the other program's bytes stay, and the table writes nothing more until opened again.
TEST_P(TableEdits, BatchRefusedInTheMiddleKeepsTheEarlierMarks)
{
    const auto rowsBefore = walk(*table);
    const std::string call = rowsBefore[5][2];
    const std::string before = readFile(path);
    const std::size_t at = before.find(call);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(before.find(call, at + 1), std::string::npos) << "the call sign names one record";
    {
        WriteBatch batch(*table);
        for (const long row : {1L, 4L}) { // 4 has no mark yet: a text table's line grows
            table->MoveTo(row);
            table->EditRecord();
            table->SetFieldText(kSend, "X");
        }
        table->MoveTo(5);
        EXPECT_EQ(table->FieldText(2), call);
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "Q", 1, static_cast<off_t>(at)), 1);
        ::close(fd);
        table->EditRecord();
        table->SetFieldText(kSend, "X");
        try {
            table->MoveTo(0);
            ADD_FAILURE() << "the changed record was written";
        } catch (const KelboError& e) {
            EXPECT_NE(std::string(e.what()).find("変更しました"), std::string::npos) << e.what();
        }
        // The batch ends on the way out, as after an error.
    }
    auto expected = rowsBefore;
    expected[1][kSend] = "X";
    expected[4][kSend] = "X";
    expected[5][2] = "Q" + call.substr(1);
    EXPECT_EQ(reread(), expected);
    if (std::string(GetParam()) == "LOG.TXT") {
        std::string changed = before;
        changed[at] = 'Q';
        EXPECT_EQ(readFile(path), withSendMarks(GetParam(), changed, {1, 4}, rowsBefore));
    } else {
        EXPECT_EQ(readFile(path).size(), before.size());
    }
    expectRefused(
        [&] {
            table->MoveTo(7);
            table->EditRecord();
            table->SetFieldText(kSend, "X");
            table->Post();
        },
        "変更しました");
}

INSTANTIATE_TEST_SUITE_P(Formats, TableEdits, ::testing::Values("LOG.DB", "LOG.DBF", "LOG.TXT"));

TEST(TableEditsText, LengthChangeKeepsTheModeAndSameLengthWritesInPlace)
{
    TempDir tmp;
    const std::string path = tmp.file("t.csv");
    writeFile(path, "CALL,SEND\r\nJA1AA,\"\"\r\nJA2BB,\"R\"\r\n");
    ::chmod(path.c_str(), 0640);
    struct stat st
    {
    };
    ::stat(path.c_str(), &st);
    const ino_t inode = st.st_ino;

    auto table = open(tmp.path(), "t.csv");
    table->MoveTo(1);
    table->EditRecord();
    table->SetFieldText(1, "F"); // same length: in place
    table->MoveFirst();
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(readFile(path), "CALL,SEND\r\nJA1AA,\"\"\r\nJA2BB,\"F\"\r\n");

    table->EditRecord();
    table->SetFieldText(1, "F\"Q"); // longer, with a quote: the file is replaced whole
    table->MoveNext();
    EXPECT_EQ(readFile(path), "CALL,SEND\r\nJA1AA,\"F\"\"Q\"\r\nJA2BB,\"F\"\r\n");
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(table->FieldText(1), "F");
    EXPECT_EQ(table->CellText(0, 1), "F\"Q");

    // A line shorter than the field list gets the missing separators.
    writeFile(tmp.file("s.csv"), "CALL,NAME,SEND\nJA1AA\n");
    auto shortLine = open(tmp.path(), "s.csv");
    shortLine->EditRecord();
    shortLine->SetFieldText(2, "F");
    shortLine->CloseTable();
    EXPECT_EQ(readFile(tmp.file("s.csv")), "CALL,NAME,SEND\nJA1AA,,\"F\"\n");
}

// Writes the engines refuse because they would damage what other programs keep about the table.
TEST(TableEditsRefused, KeysIndexesProtectionAndLineEnds)
{
    struct Case
    {
        const char* label;
        const char* name;
        std::function<void(const TempDir&)> prepare;
        int field;
        std::string text;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"Paradox key field", "LOG.DB",
         [](const TempDir& t) {
             std::string bytes = readFile(t.file("LOG.DB"));
             bytes[0x23] = 3; // DATE, TIME and CALL form the primary key
             writeFile(t.file("LOG.DB"), bytes);
         },
         2, "JA1ZZZ", "キー"},
        {"Paradox field with a secondary index", "LOG.DB",
         [](const TempDir& t) { writeFile(t.file("LOG.X0C"), "index"); }, kSend, "F", "索引"},
        {"write-protected Paradox table", "LOG.DB",
         [](const TempDir& t) {
             std::string bytes = readFile(t.file("LOG.DB"));
             bytes[0x38] = 1;
             writeFile(t.file("LOG.DB"), bytes);
         },
         kSend, "F", "書き込み禁止"},
        {"line end in a text value", "LOG.TXT", [](const TempDir&) {}, kRem, "two\r\nlines", "改行"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir tmp;
        for (const char* f : {"LOG.DB", "LOG.TXT", "LOG.SCH"}) {
            ASSERT_TRUE(QFile::copy(QString(KELBO_SAMPLE_DIR "/") + f, QString::fromStdString(tmp.file(f))));
            ::chmod(tmp.file(f).c_str(), 0644);
        }
        c.prepare(tmp);
        const std::string before = readFile(tmp.file(c.name));
        auto table = open(tmp.path(), c.name);
        table->MoveTo(1);
        table->EditRecord();
        table->SetFieldText(c.field, c.text);
        try {
            table->Post();
            ADD_FAILURE() << "written";
        } catch (const KelboError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_EQ(readFile(tmp.file(c.name)), before);
    }
}
