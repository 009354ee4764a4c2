// Files that are not what their name says, damaged or odd: a clear error that names the file and the
// reason with the table left closed, or a well-defined reading; never a crash, and nothing is written.
#include "TableFixtures.h"

#include "common/KelboError.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace fixtures;

namespace {

std::string sample(const char* name)
{
    return readFile(std::string(KELBO_SAMPLE_DIR "/") + name);
}

std::string patched(std::string bytes, std::size_t at, const std::string& with)
{
    bytes.replace(at, with.size(), with);
    return bytes;
}

struct BadCase
{
    const char* label;
    const char* name; // the table file
    std::function<void(const TempDir&)> make; // writes what the case needs
    const char* error; // the reason in the message, or nullptr for a reading
    long records = -1; // the reading's record count
};

std::string listing(const TempDir& tmp)
{
    std::string out;
    for (const auto& e :
         QDir(QString::fromStdString(tmp.path())).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        out += e.fileName().toStdString() + ":" + readFile(e.filePath().toStdString()) + "\n";
    }
    return out;
}

} // namespace

TEST(TableBadInput, EachGivesAClearErrorOrAWellDefinedReading)
{
    auto file = [](const char* name, std::function<std::string()> bytes) {
        return [name, bytes](const TempDir& tmp) { writeFile(tmp.file(name), bytes()); };
    };
    const std::string db = sample("LOG.DB");
    const std::string dbf = sample("LOG.DBF");
    const std::vector<BadCase> cases = {
        {"missing file", "none.db", [](const TempDir&) {}, "ファイルがありません"},
        {"a folder", "dir.dbf", [](const TempDir& t) { QDir().mkdir(QString::fromStdString(t.file("dir.dbf"))); },
         "フォルダです"},
        {"unknown extension", "log.xls", file("log.xls", [] { return std::string("x"); }), "拡張子 .xls"},
        {"empty .db", "e.db", file("e.db", [] { return std::string(); }), "空のファイル"},
        {"empty .dbf", "e.dbf", file("e.dbf", [] { return std::string(); }), "空のファイル"},
        {"empty .txt", "e.txt", file("e.txt", [] { return std::string(); }), "空のファイル"},
        {"empty .txt with a schema", "s.txt",
         [](const TempDir& t) {
             writeFile(t.file("s.txt"), "");
             writeFile(t.file("s.sch"), "[S]\nField1 = CALL,CHAR,8,0,0\n");
         },
         nullptr, 0},
        {"truncated Paradox header", "t.db", file("t.db", [&] { return db.substr(0, 40); }), "Paradox"},
        {"dBASE file named .db", "f.db", file("f.db", [&] { return dbf; }), "Paradox のテーブルではありません"},
        {"text named .dbf", "f.dbf", file("f.dbf", [] { return std::string("CALL,SEND\r\nJA1AA,F\r\n"); }), "dBASE"},
        {"Paradox index named .db", "i.db", file("i.db", [&] { return patched(db, 4, "\x01"); }), "索引ファイル"},
        {"unsupported Paradox version", "v.db", file("v.db", [&] { return patched(db, 0x39, "\x02"); }),
         "対応していない版"},
        {"encrypted Paradox table", "c.db", file("c.db", [&] { return patched(db, 0x5C, "\x11"); }), "暗号化"},
        {"Paradox field list beyond the header", "h.db",
         file("h.db", [&] { return patched(db, 0x21, std::string("\xF0\x00", 2)); }), "Paradox"},
        {"Paradox cut inside its data", "d.db", file("d.db", [&] { return db.substr(0, 2048 + 700); }), nullptr,
         700 / 0x91},
        {"Paradox block chain that loops", "loop.db",
         file("loop.db", [&] { return patched(db, 2048, std::string("\x01\x00", 2)); }), nullptr, 30},
        {"Paradox record count beyond the blocks", "n.db",
         file("n.db", [&] { return patched(db, 6, std::string("\x40\x42\x0F\x00", 4)); }), nullptr, 30},
        {"dBASE record count beyond the file", "n.dbf",
         file("n.dbf",
              [] {
                  return dbfBytes({{"CALL", 'C', 8}}, {{"JA1AA"}, {"JA2BB"}}, 1000000);
              }),
         nullptr, 2},
        {"dBASE header longer than the file", "h.dbf",
         file("h.dbf", [&] { return patched(dbf, 8, std::string("\xFF\x7F", 2)); }), "途中で切れています"},
        {"dBASE record shorter than its fields", "r.dbf",
         file("r.dbf", [&] { return patched(dbf, 10, std::string("\x05\x00", 2)); }), "レコード長"},
        {"dBASE table without fields", "nf.dbf", file("nf.dbf", [] { return dbfBytes({}, {}); }),
         "フィールドがありません"},
        {"dBASE II table", "ii.dbf",
         file("ii.dbf",
              [] { // one record, a field CALL of 8 characters
                  const char header[] = "\x02\x01\x00\x01\x01\x01\x09\x00"
                                        "CALL\0\0\0\0\0\0\0C\x08";
                  return std::string(header, sizeof header - 1) + "\x0D" + " JA1AA   \x1A";
              }),
         "dBASE II"},
        {"dBASE 7 table cut inside its field list", "t7.dbf",
         file("t7.dbf",
              [] {
                  return std::string("\x04\x78\x02\x1b\x00\x00\x00\x00\x75\x00\x05\x00", 12) + std::string(20, '\0');
              }),
         "途中で切れています"},
        {"unbalanced quotes", "q.csv", file("q.csv", [] { return std::string("CALL,SEND\n\"JA1AA,F\nJA2BB,F\n"); }),
         nullptr, 2},
        {"schema naming more fields than a line holds", "m.txt",
         [](const TempDir& t) {
             writeFile(t.file("m.txt"), "\"JA1AA\"\n");
             writeFile(t.file("m.sch"),
                       "[M]\nField1 = CALL,CHAR,8,0,0\nField2 = SEND,CHAR,1,0,0\n"
                       "Field3 = WHEN,DATE,10,0,0\n");
         },
         nullptr, 1},
        {"schema without fields", "z.txt",
         [](const TempDir& t) {
             writeFile(t.file("z.txt"), "JA1AA\n");
             writeFile(t.file("z.sch"), "[Z]\nFILETYPE = VARYING\n");
         },
         "フィールドの定義がありません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir tmp;
        c.make(tmp);
        const std::string before = listing(tmp);
        auto table = createLogTable();
        if (c.error) {
            try {
                table->OpenTable(tmp.path(), c.name);
                ADD_FAILURE() << "opened";
            } catch (const KelboError& e) {
                const std::string message = e.what();
                EXPECT_NE(message.find(tmp.file(c.name)), std::string::npos) << message;
                EXPECT_NE(message.find(c.error), std::string::npos) << message;
            }
            EXPECT_FALSE(table->IsOpen());
        } else {
            ASSERT_NO_THROW(table->OpenTable(tmp.path(), c.name));
            EXPECT_EQ(table->RecordCount(), c.records);
            for (long r = 0; r < table->RecordCount(); ++r) {
                for (int f = 0; f < table->FieldCount(); ++f) {
                    table->CellText(r, f);
                }
            }
            EXPECT_EQ(static_cast<long>(walk(*table).size()), c.records);
            table->CloseTable();
        }
        EXPECT_EQ(listing(tmp), before) << "nothing is written";
    }
}

TEST(TableBadInput, ZeroWidthCharacterFieldReadsEmpty)
{
    TempDir tmp;
    writeFile(
        tmp.file("z.dbf"),
        dbfBytes({{"CALL", 'C', 6}, {"NOTE", 'C', 0}, {"SEND", 'C', 1}}, {{"JA1AA", "", "F"}, {"JA2BB", "", ""}}));
    auto table = open(tmp.path(), "z.dbf");
    EXPECT_EQ(walk(*table), (std::vector<std::vector<std::string>>{{"JA1AA", "", "F"}, {"JA2BB", "", ""}}));
}

TEST(TableBadInput, UnbalancedQuoteRunsToTheEndOfItsLine)
{
    TempDir tmp;
    writeFile(tmp.file("q.csv"), "CALL,SEND\n\"JA1AA,F\nJA2BB,F\n");
    auto table = open(tmp.path(), "q.csv");
    EXPECT_EQ(walk(*table), (std::vector<std::vector<std::string>>{{"JA1AA,F", ""}, {"JA2BB", "F"}}));
}

TEST(TableBadInput, UnreadableFileIsRefused)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "a privileged user reads every file";
    }
    TempDir tmp;
    writeFile(tmp.file("p.dbf"), dbfBytes({{"CALL", 'C', 8}}, {{"JA1AA"}}));
    ::chmod(tmp.file("p.dbf").c_str(), 0);
    auto table = createLogTable();
    try {
        table->OpenTable(tmp.path(), "p.dbf");
        ADD_FAILURE() << "opened";
    } catch (const KelboError& e) {
        EXPECT_NE(std::string(e.what()).find("許可されていません"), std::string::npos) << e.what();
    }
}

TEST(TableBadInput, FailedOpenLeavesThePreviousTableClosed)
{
    TempDir tmp;
    writeFile(tmp.file("a.csv"), "CALL\nJA1AA\n");
    auto table = open(tmp.path(), "a.csv");
    EXPECT_THROW(table->OpenTable(tmp.path(), "missing.csv"), KelboError);
    EXPECT_FALSE(table->IsOpen());
    EXPECT_EQ(table->FilePath(), "");
}
