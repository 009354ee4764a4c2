// Marks written into text tables land exactly in the SEND field as the table is read: every byte of the file
// after the mark is compared with the file built here by hand (the old bytes, the SEND span replaced), and a
// record the splitter cannot split one way only is refused with nothing written.
#include "TableFixtures.h"

#include "NormalUser.h"
#include "common/KelboError.h"

#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fixtures;

namespace {

constexpr int kSend = 3; // CALL,NAME,RECV,SEND,REM

/** One record: the bytes before SEND, SEND as stored, the bytes after it (line end included). */
struct Record
{
    std::string before;
    std::string send;
    std::string after;
};

std::string build(const std::string& head, const std::vector<Record>& records, const std::string& mark)
{
    std::string out = head;
    for (const Record& r : records) {
        out += r.before + (mark.empty() ? r.send : mark) + r.after;
    }
    return out;
}

/** Marks every record in one batch, as the send-mark update does. */
void markAll(LogTable& table, const std::string& mark)
{
    WriteBatch batch(table);
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
        table.EditRecord();
        table.SetFieldText(kSend, mark);
    }
    batch.end();
}

const std::string kHead = "CALL,NAME,RECV,SEND,REM\r\n";

} // namespace

TEST(TextMarks, MarkChangesOnlyTheSendBytesOfEachRecord)
{
    struct Case
    {
        const char* label;
        std::string head;
        std::vector<Record> records;
    };
    const std::vector<Case> cases = {
        {"lone lead byte before a closing quote",
         kHead,
         {{"JA1AA,\"abc\x82\",\"R\",", "\"\"", ",\"rem\"\r\n"}, {"JA2BB,\"x\",\"\",", "\"\"", ",\"\"\r\n"}}},
        {"unquoted name ending in a lead byte",
         kHead,
         {{"JA1AA,abc\x81,R,", "", ",rem\r\n"}, {"JA2BB,x\x9F,,", "", ",\r\n"}}},
        {"lead byte ending RECV", kHead, {{"JA1AA,\"nm\",\"R\x82\",", "\"\"", ",\"rem\"\r\n"}}},
        {"double-byte characters with trail bytes like separators",
         kHead,
         {{"JA1AA,\"" + sj("ポ表") + "\",\"\",", "\"\"", ",\"" + sj("ソ") + "\"\r\n"}}},
        {"quoted remark over two lines",
         kHead,
         {{"JA1AA,\"nm\",\"\",", "\"\"", ",\"first line\r\nsecond line\"\r\n"},
          {"JA2BB,\"nm\",\"\",", "\"\"", ",\"a \"\"quoted\"\"\nline\"\r\n"},
          {"JA3CC,\"nm\",\"\",", "\"\"", ",\"\"\r\n"}}},
        {"CR-only line ends",
         "CALL,NAME,RECV,SEND,REM\r",
         {{"JA1AA,\"nm\",\"\",", "\"\"", ",\"\"\r"}, {"JA2BB,\"nm\",\"\",", "\"\"", ",\"\""}}},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF" + kHead, {{"JA1AA,\"nm\",\"\",", "\"\"", ",\"\"\n"}}},
        {"record shorter than the field list", kHead, {{"JA1AA,\"nm\",\"\",", "", "\r\n"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir tmp;
        const std::string path = tmp.file("t.csv");
        writeFile(path, build(c.head, c.records, ""));
        auto table = open(tmp.path(), "t.csv");
        ASSERT_EQ(table->RecordCount(), static_cast<long>(c.records.size()));
        EXPECT_EQ(table->FieldName(0), "CALL");
        markAll(*table, "F");
        EXPECT_EQ(readFile(path), build(c.head, c.records, "\"F\""));
        auto again = open(tmp.path(), "t.csv");
        for (long row = 0; row < again->RecordCount(); ++row) {
            EXPECT_EQ(again->CellText(row, kSend), "F") << "record " << row;
            EXPECT_EQ(again->CellText(row, 0), table->CellText(row, 0));
        }
    }
}

TEST(TextMarks, DoubtfulRecordsAreRefusedAndNothingIsWritten)
{
    struct Case
    {
        const char* label;
        std::string line;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"quote never closed", "JA1AA,\"nm,\"\",\"\"\r\n", "閉じていません"},
        {"bytes after a closing quote", "JA1AA,\"nm\"x,\"\",\"\",\"\"\r\n", "区切り文字がありません"},
        // Another reader may end a quoted value of an earlier line there: a mark could join the lines.
        {"quote inside an unquoted value", "JA1AA,nm\",\"\",\"\",\"\"\r\n", "引用符で始まらない値"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir tmp;
        const std::string path = tmp.file("t.csv");
        const std::string bytes = kHead + c.line + "JA2BB,\"nm\",\"\",\"\",\"\"\r\n";
        writeFile(path, bytes);
        auto table = open(tmp.path(), "t.csv");
        ASSERT_EQ(table->RecordCount(), 2) << "a damaged quote does not swallow the next record";
        EXPECT_EQ(table->CellText(1, 0), "JA2BB");
        table->EditRecord();
        table->SetFieldText(kSend, "F");
        try {
            table->Post();
            ADD_FAILURE() << "written";
        } catch (const KelboError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_EQ(readFile(path), bytes);
    }
}

TEST(TextMarks, MarkHoldingSeparatorOrQuote)
{
    TempDir tmp;
    // Quoted table: the quote is doubled inside the quotes.
    writeFile(tmp.file("q.csv"), kHead + "JA1AA,nm,,,\r\n");
    auto quoted = open(tmp.path(), "q.csv");
    quoted->EditRecord();
    quoted->SetFieldText(kSend, "a,\"b");
    quoted->Post();
    EXPECT_EQ(readFile(tmp.file("q.csv")), kHead + "JA1AA,nm,,\"a,\"\"b\",\r\n");
    EXPECT_EQ(open(tmp.path(), "q.csv")->CellText(0, kSend), "a,\"b");

    // A table whose schema gives no quote cannot hold the separator in a value.
    writeFile(tmp.file("N.SCH"),
              "[N]\r\nFILETYPE = VARYING\r\nDELIMITER =\r\nSEPARATOR = ,\r\n"
              "Field1 = CALL,CHAR,10,0,0\r\nField2 = SEND,CHAR,5,0,0\r\n");
    const std::string bytes = "JA1AA,\r\n";
    writeFile(tmp.file("N.TXT"), bytes);
    auto bare = open(tmp.path(), "N.TXT");
    bare->EditRecord();
    bare->SetFieldText(1, "F,G");
    EXPECT_THROW(bare->Post(), KelboError);
    EXPECT_EQ(readFile(tmp.file("N.TXT")), bytes);
    bare->EditRecord();
    bare->SetFieldText(1, "F\"");
    bare->Post();
    EXPECT_EQ(readFile(tmp.file("N.TXT")), "JA1AA,F\"\r\n");
}

namespace {

const std::vector<Record> kTwo = {{"JA1AA,\"nm\",\"\",", "\"\"", ",\"\"\r\n"}, {"JA2BB,\"nm\",\"\",", "", ",\"\"\r\n"}};

} // namespace

// A mark that changes a record's length rewrites the table: through a symbolic link to the real file, in place
// for a file with several names, and left over temporary files of a killed write are cleared.
TEST(TextMarks, RewriteKeepsLinksAndClearsStaleTemporaries)
{
    TempDir tmp;
    ASSERT_EQ(::mkdir(tmp.file("real").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(tmp.file("tab").c_str(), 0755), 0);
    const std::string real = tmp.file("real/t.csv");
    writeFile(real, build(kHead, kTwo, ""));
    ASSERT_EQ(::symlink("../real/t.csv", tmp.file("tab/t.csv").c_str()), 0);
    ASSERT_EQ(::link(real.c_str(), tmp.file("real/h.csv").c_str()), 0);
    struct stat st
    {
    };
    ::stat(real.c_str(), &st);
    const ino_t inode = st.st_ino;
    // A temporary file of a write that was killed, and one that a running write still holds.
    writeFile(tmp.file("real/.t.csv.kelbo-Ab12Cd"), std::string(1000, 'x'));
    writeFile(tmp.file("real/.t.csv.kelbo-Ef34Gh"), "busy");
    const int busy = ::open(tmp.file("real/.t.csv.kelbo-Ef34Gh").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);

    markAll(*open(tmp.file("tab/"), "t.csv"), "F");
    const std::string expected = build(kHead, kTwo, "\"F\"");
    EXPECT_EQ(readFile(real), expected);
    EXPECT_EQ(readFile(tmp.file("real/h.csv")), expected) << "the other name sees the mark";
    ASSERT_EQ(::lstat(tmp.file("tab/t.csv").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    ::stat(real.c_str(), &st);
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(st.st_nlink, 2u);

    // Without the second name the file is replaced, and the stale temporary file goes with that write.
    ::unlink(tmp.file("real/h.csv").c_str());
    writeFile(real, build(kHead, kTwo, ""));
    markAll(*open(tmp.file("tab/"), "t.csv"), "F");
    EXPECT_EQ(readFile(real), expected);
    EXPECT_NE(::access(tmp.file("real/.t.csv.kelbo-Ab12Cd").c_str(), F_OK), 0) << "stale temporary file removed";
    EXPECT_EQ(::access(tmp.file("real/.t.csv.kelbo-Ef34Gh").c_str(), F_OK), 0) << "a locked one stays";
    ::close(busy);
}

TEST(TextMarks, TableInAFolderTheUserCannotWriteIsRewrittenInPlace)
{
    TempDir tmp;
    const std::string dir = tmp.file("ro");
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    const std::string path = dir + "/t.csv";
    writeFile(path, build(kHead, kTwo, ""));
    const std::string expected = build(kHead, kTwo, "\"F\"");
    const std::string state = tmp.file("state"); // the user's own state folder, for the journal of the write
    ASSERT_EQ(::mkdir(state.c_str(), 0700), 0);
    const int result = normaluser::run(
        [&] {
            ::setenv("XDG_STATE_HOME", state.c_str(), 1);
            if (::chmod(dir.c_str(), 0555) != 0) {
                return 1;
            }
            try {
                markAll(*open(dir + "/", "t.csv"), "F");
            } catch (const KelboError&) {
                return 2;
            }
            return readFile(path) == expected ? 0 : 3;
        },
        {tmp.path(), dir, path, state});
    ::chmod(dir.c_str(), 0755);
    if (result < 0) {
        GTEST_SKIP() << "cannot drop root privileges for the permission case";
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readFile(path), expected);
}

// Messages quote field names decoded from CP932, whatever the format.
TEST(TextMarks, RefusalsNameJapaneseFieldsReadably)
{
    TempDir tmp;
    const std::string name = sj("発送");
    writeFile(tmp.file("n.dbf"), dbfBytes({{"CALL", 'C', 8}, {name.c_str(), 'N', 3}}, {{"JA1AA", "1"}}));
    writeFile(tmp.file("N.SCH"),
              "[N]\r\nFILETYPE = VARYING\r\nSEPARATOR = ,\r\nField1 = CALL,CHAR,10,0,0\r\nField2 = " + name
                  + ",NUMBER,5,0,0\r\n");
    writeFile(tmp.file("N.TXT"), "JA1AA,1\r\n");
    for (const char* file : {"n.dbf", "N.TXT"}) {
        SCOPED_TRACE(file);
        auto table = open(tmp.path(), file);
        table->EditRecord();
        table->SetFieldText(1, "F");
        try {
            table->Post();
            ADD_FAILURE() << "written";
        } catch (const KelboError& e) {
            EXPECT_NE(std::string(e.what()).find("フィールド 発送 は文字のフィールドではありません"), std::string::npos)
                << e.what();
        }
    }
}

TEST(TextMarks, SchemaThatIsNoRegularFileIsRefusedAtOnce)
{
    TempDir tmp;
    writeFile(tmp.file("LOG.txt"), "JA1AA,F\r\n");
    ASSERT_EQ(::mkfifo(tmp.file("LOG.SCH").c_str(), 0644), 0);
    EXPECT_THROW(open(tmp.path(), "LOG.txt"), KelboError);
}

// The binary formats write the mark in place: through links, and in a Paradox table whose block chain breaks,
// only the SEND byte of each marked record changes (offsets worked out here from the file layout).
TEST(TextMarks, BinaryTablesChangeOnlyTheSendBytes)
{
    TempDir tmp;
    ASSERT_EQ(::mkdir(tmp.file("real").c_str(), 0755), 0);
    std::vector<std::vector<std::string>> dbfRows;
    std::vector<std::vector<std::string>> pxRows;
    for (int i = 0; i < 600; ++i) {
        dbfRows.push_back({"JA" + std::to_string(i), ""});
        pxRows.push_back({pxAlpha("JA" + std::to_string(i), 8), pxBlank(1)});
    }
    writeFile(tmp.file("real/LOG.DBF"), dbfBytes({{"CALL", 'C', 8}, {"SEND", 'C', 1}}, dbfRows));
    makeParadox(tmp.file("real/LOG.DB"), {{"CALL", pxfAlpha, 8}, {"SEND", pxfAlpha, 1}}, pxRows);
    std::string px = readFile(tmp.file("real/LOG.DB"));
    const std::size_t pxHeader = static_cast<unsigned char>(px[2]) | static_cast<unsigned char>(px[3]) << 8;
    px[pxHeader] = 0; // the first block points nowhere: the chain breaks after it
    px[pxHeader + 1] = 0;
    writeFile(tmp.file("real/LOG.DB"), px);
    ASSERT_EQ(::symlink("real/LOG.DBF", tmp.file("LOG.DBF").c_str()), 0);
    ASSERT_EQ(::link(tmp.file("real/LOG.DB").c_str(), tmp.file("LOG.DB").c_str()), 0);

    struct Case
    {
        const char* name;
        std::function<std::size_t(long row)> sendOffset;
    };
    const std::vector<Case> cases = {
        {"LOG.DBF", [](long row) { return static_cast<std::size_t>(97 + row * 10 + 1 + 8); }},
        {"LOG.DB", [&](long row) { return pxHeader + 6 + static_cast<std::size_t>(row) * 9 + 8; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = readFile(tmp.file(c.name));
        auto table = open(tmp.path(), c.name);
        const long last = table->RecordCount() - 1;
        {
            WriteBatch batch(*table);
            for (const long row : {0L, last}) {
                table->MoveTo(row);
                table->EditRecord();
                table->SetFieldText(1, "F");
            }
            table->MoveFirst();
            batch.end();
        }
        std::string expected = before;
        expected[c.sendOffset(0)] = 'F';
        expected[c.sendOffset(last)] = 'F';
        EXPECT_EQ(readFile(tmp.file(c.name)), expected);
        EXPECT_EQ(readFile(tmp.file(std::string("real/") + c.name)), expected);
    }
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(tmp.file("LOG.DBF").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}
