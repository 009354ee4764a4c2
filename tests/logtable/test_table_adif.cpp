// ADIF logs: fields are the tags found, values are read by their stated length (bytes, or characters in a UTF-8
// file whose writer counted them so), damaged files read as far as they make sense with one note, and a write
// changes only the values it sets and their tags' lengths.
#include "TableFixtures.h"

#include "common/KelboError.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace fixtures;

namespace {

std::vector<std::string> names(const LogTable& t)
{
    std::vector<std::string> out;
    for (int i = 0; i < t.FieldCount(); ++i) {
        out.push_back(t.FieldName(i));
    }
    return out;
}

int field(const LogTable& t, const std::string& name)
{
    for (int i = 0; i < t.FieldCount(); ++i) {
        if (t.FieldName(i) == name) {
            return i;
        }
    }
    return -1;
}

/** The text of @p name in every record. */
std::vector<std::string> column(LogTable& t, const std::string& name)
{
    const int f = field(t, name);
    std::vector<std::string> out;
    for (t.MoveFirst(); !t.AtEnd(); t.MoveNext()) {
        out.push_back(f < 0 ? "<no field>" : t.FieldText(f));
    }
    return out;
}

TEST(AdifTable, SampleLogReadsItsTagsAsFieldsInOrderOfFirstAppearance)
{
    auto t = open(KELBO_SAMPLE_DIR, "LOG.ADI");
    // The send mark and its date come last, wherever they first appear.
    EXPECT_EQ(names(*t),
              (std::vector<std::string>{"QSO_DATE", "TIME_ON", "CALL", "BAND", "FREQ", "MODE", "RST_SENT", "RST_RCVD",
                                        "NAME", "QTH", "COMMENT", "QSL_RCVD", "QSL_VIA", "QSL_SENT", "QSL_SDATE"}));
    EXPECT_EQ(t->RecordCount(), 30);
    EXPECT_EQ(t->ReadNote(), "");
    const auto rows = walk(*t);
    // UTF-8 reaches the program as CP932; lower-case tags are the same fields; a missing tag reads "".
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"20240428", "0012", "JA1ZQX", "40m", "7.045", "SSB", "59", "59",
                                        sj("山田 太郎"), sj("東京都世田谷区"), sj("初QSO"), "Y", "", "Y", "20240511"}));
    EXPECT_EQ(rows[1][2], "JH3KVW");
    EXPECT_EQ(rows[1][8], sj("佐藤 一郎"));
    EXPECT_EQ(rows[2][10], sj("ｺﾝﾃｽﾄ ①"));
    EXPECT_EQ(rows[2][1], "231500");
    EXPECT_EQ(rows[4][13], "N");
}

TEST(AdifTable, LengthsCountBytesOrCharactersAsTheFileWasWritten)
{
    struct Case
    {
        const char* what;
        std::string file;
        std::vector<std::vector<std::string>> rows;
    };
    const std::string name = sj("山田");
    const std::vector<Case> cases = {
        {"CP932, byte lengths, no header",
         "<CALL:6>JA1ZQX<NAME:4>" + sj("山田") + "<EOR>\n<CALL:5>K6LTE<EOR>",
         {{"JA1ZQX", name}, {"K6LTE", ""}}},
        {"UTF-8, byte lengths", "<CALL:6>JA1ZQX <NAME:6>山田 <EOR>", {{"JA1ZQX", name}}},
        {"UTF-8, character lengths", "<CALL:6>JA1ZQX <NAME:2>山田 <EOR>", {{"JA1ZQX", name}}},
        {"UTF-8, one record each way",
         "<NAME:6>山田<CALL:6>JA1ZQX<EOR><NAME:2>山田<CALL:5>K6LTE<EOR>",
         {{name, "JA1ZQX"}, {name, "K6LTE"}}},
        {"bytes are tried first", "<NAME:7>山田 <CALL:6>JA1ZQX <EOR>", {{sj("山田 "), "JA1ZQX"}}},
        {"header with tags, type indicators, case-blind names, text between fields",
         "Log of JA1ZQX <ADIF_VER:5>3.1.4\r\n<eoh>\r\n<call:6:s>JA1ZQX comment <Rst_Sent:2>59 x <eor>\r\n",
         {{"JA1ZQX", "59"}}},
        {"a header that begins with a tag",
         "<ADIF_VER:5>3.1.4 <EOH> <CALL:6>JA1ZQX <RST_SENT:2>59 <EOR>",
         {{"JA1ZQX", "59"}}},
        {"a value holding '<' and '>'", "<CALL:6>JA1ZQX<COMMENT:7>a<b>c<d<EOR>", {{"JA1ZQX", "a<b>c<d"}}},
        {"an empty value and a repeated tag (the first counts)",
         "<CALL:0><CALL:5>K6LTE<EOR><CALL:6>JA1ZQX<EOR>",
         {{""}, {"JA1ZQX"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        writeFile(tmp.file("log.adi"), c.file);
        auto t = open(tmp.path(), "log.adi");
        auto rows = walk(*t);
        for (auto& row : rows) {
            row.resize(row.size() - 2); // the QSL_SENT and QSL_SDATE columns every ADIF table has
        }
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(t->ReadNote(), "");
    }
}

TEST(AdifTable, DamagedFileReadsAsFarAsItMakesSenseWithOneNote)
{
    struct Case
    {
        const char* what;
        std::string file;
        std::vector<std::string> calls;
        const char* noted;
    };
    const std::vector<Case> cases = {
        {"a length past the end", "<CALL:6>JA1ZQX<EOR><CALL:40>K6LTE", {"JA1ZQX", "K6LTE"}, "ファイルの終わり"},
        {"a tag without '>'", "<CALL:6 JA1ZQX<EOR><CALL:5>K6LTE<EOR>", {"K6LTE"}, "「<」"},
        {"a stray '<'", "<CALL:6>JA1ZQX < <EOR><CALL:5>K6LTE<EOR>", {"JA1ZQX", "K6LTE"}, "「<」"},
        {"no <EOR> after the last record", "<CALL:6>JA1ZQX<EOR><CALL:5>K6LTE", {"JA1ZQX", "K6LTE"}, "<EOR>"},
        {"a huge length", "<CALL:99999999999>JA1ZQX<EOR>", {}, "「<」"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        writeFile(tmp.file("log.adi"), c.file);
        auto t = open(tmp.path(), "log.adi");
        EXPECT_EQ(column(*t, "CALL"), c.calls.empty() ? std::vector<std::string>{} : c.calls);
        const std::string note = t->ReadNote();
        EXPECT_NE(note.find(tmp.file("log.adi")), std::string::npos) << note;
        EXPECT_NE(note.find(c.noted), std::string::npos) << note;
    }
}

class AdifWrite : public ::testing::Test
{
protected:
    std::string path() const { return tmp.file("log.adi"); }
    std::unique_ptr<LogTable> make(const std::string& bytes)
    {
        writeFile(path(), bytes);
        return open(tmp.path(), "log.adi");
    }
    void mark(LogTable& t, long row, const std::string& sent, const std::string& date)
    {
        t.MoveTo(row);
        t.EditRecord();
        t.SetFieldText(field(t, "QSL_SENT"), sent);
        t.SetFieldText(field(t, "QSL_SDATE"), date);
        t.Post();
    }
    TempDir tmp;
};

TEST_F(AdifWrite, MarkReplacesValuesOrInsertsTagsBeforeEorAndKeepsEveryOtherByte)
{
    const std::string header = "made by hand <PROGRAMID:4>test <EOH>\r\n";
    const std::string r0 = "<CALL:6>JA1ZQX <qsl_sent:1:s>N <QSL_SDATE:8:D>20200101 <eor>\r\n";
    const std::string r1 = "<CALL:5>K6LTE <COMMENT:2>hi<EOR>\r\n";
    const std::string r2 = "<CALL:6>JH3KVW <QSL_SENT:1>N <EOR>\r\n";
    auto t = make(header + r0 + r1 + r2);
    {
        WriteBatch batch(*t);
        mark(*t, 0, "Y", "20261210");
        mark(*t, 1, "Y", "20261210");
        t->MoveFirst();
        batch.end();
    }
    EXPECT_EQ(readFile(path()),
              header + "<CALL:6>JA1ZQX <qsl_sent:1:s>Y <QSL_SDATE:8:D>20261210 <eor>\r\n"
                  + "<CALL:5>K6LTE <COMMENT:2>hi<QSL_SENT:1>Y <QSL_SDATE:8>20261210 <EOR>\r\n" + r2);
    // The fields keep their positions and the table reads on from the new file.
    EXPECT_EQ(column(*t, "QSL_SENT"), (std::vector<std::string>{"Y", "Y", "N"}));
    EXPECT_EQ(column(*t, "CALL"), (std::vector<std::string>{"JA1ZQX", "K6LTE", "JH3KVW"}));
}

// An empty value is no value: writing it takes the tag out, with the blank written after an inserted one, so that a
// mark taken back leaves the file as it was.
TEST_F(AdifWrite, EmptyValueTakesTheTagOutAgain)
{
    const std::string before = "<CALL:5>K6LTE <COMMENT:2>hi<EOR>\r\n<CALL:6>JH3KVW <QSL_SENT:1>N <EOR>\r\n";
    auto t = make(before);
    mark(*t, 0, "Y", "20261210");
    mark(*t, 1, "Y", "20261210");
    ASSERT_NE(readFile(path()), before);
    mark(*t, 0, "", "");
    mark(*t, 1, "N", "");
    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(column(*t, "QSL_SENT"), (std::vector<std::string>{"", "N"}));
}

// The definition names fields by position: marking a record before the first one that has the mark's tags must not
// move any field the next time the log is opened.
TEST_F(AdifWrite, MarkingAnEarlierRecordMovesNoField)
{
    auto t = make("<CALL:6>JA1ZQX <EOR>\n<CALL:5>K6LTE <QSL_VIA:4>JARL <EOR>\n<CALL:4>W1AW <QSL_SENT:1>Y <EOR>\n");
    const std::vector<std::string> before = names(*t);
    EXPECT_EQ(before, (std::vector<std::string>{"CALL", "QSL_VIA", "QSL_SENT", "QSL_SDATE"}));
    mark(*t, 0, "Y", "20261210");
    t->CloseTable();
    auto again = open(tmp.path(), "log.adi");
    EXPECT_EQ(names(*again), before);
    EXPECT_EQ(column(*again, "QSL_SENT"), (std::vector<std::string>{"Y", "", "Y"}));
}

TEST_F(AdifWrite, LengthsFollowTheRecordsOwnCountingInAUtf8File)
{
    auto t = make("<CALL:6>JA1ZQX <NAME:2>山田 <EOR>\n<CALL:5>K6LTE <NAME:6>佐藤 <EOR>\n");
    for (long row : {0L, 1L}) {
        t->MoveTo(row);
        t->EditRecord();
        t->SetFieldText(field(*t, "NAME"), sj("鈴木 花子"));
        t->SetFieldText(field(*t, "QSL_SENT"), "Y");
        t->Post();
    }
    EXPECT_EQ(readFile(path()),
              "<CALL:6>JA1ZQX <NAME:5>鈴木 花子 <QSL_SENT:1>Y <EOR>\n"
              "<CALL:5>K6LTE <NAME:13>鈴木 花子 <QSL_SENT:1>Y <EOR>\n");
    auto again = open(tmp.path(), "log.adi");
    EXPECT_EQ(column(*again, "NAME"), (std::vector<std::string>{sj("鈴木 花子"), sj("鈴木 花子")}));
}

TEST_F(AdifWrite, WriteIsRefusedWhenTheFileChangedOrIsReadOnly)
{
    const std::string original = "<CALL:6>JA1ZQX <EOR>\n";
    auto t = make(original);
    const std::string changed = "<CALL:6>JA1ZQX <QSL_SENT:1>Y <EOR>\n";
    writeFile(path(), changed);
    EXPECT_THROW(mark(*t, 0, "Y", "20261210"), KelboError);
    EXPECT_EQ(readFile(path()), changed);

    auto u = make(original);
    ::chmod(path().c_str(), 0444);
    try {
        mark(*u, 0, "Y", "20261210");
        ADD_FAILURE() << "written";
    } catch (const KelboError& e) {
        EXPECT_NE(std::string(e.what()).find("読み取り専用"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readFile(path()), original);
}

// The rewrite goes to the file a link names and keeps a second name's file its own; a stale temporary file of a
// killed write goes with the next replacement.
TEST_F(AdifWrite, RewriteKeepsLinksAndHardLinkedFiles)
{
    const std::string original = "<CALL:6>JA1ZQX <EOR>\n";
    const std::string marked = "<CALL:6>JA1ZQX <QSL_SENT:1>Y <QSL_SDATE:8>20261210 <EOR>\n";
    ASSERT_EQ(::mkdir(tmp.file("real").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(tmp.file("tab").c_str(), 0755), 0);
    const std::string real = tmp.file("real/log.adi");
    writeFile(real, original);
    ASSERT_EQ(::symlink("../real/log.adi", tmp.file("tab/log.adi").c_str()), 0);
    writeFile(tmp.file("real/.log.adi.kelbo-Ab12Cd"), "stale");

    mark(*open(tmp.file("tab/"), "log.adi"), 0, "Y", "20261210");
    EXPECT_EQ(readFile(real), marked);
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(tmp.file("tab/log.adi").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_NE(::access(tmp.file("real/.log.adi.kelbo-Ab12Cd").c_str(), F_OK), 0) << "stale temporary file removed";

    writeFile(real, original);
    ASSERT_EQ(::link(real.c_str(), tmp.file("real/h.adi").c_str()), 0);
    ::stat(real.c_str(), &st);
    const ino_t inode = st.st_ino;
    mark(*open(tmp.file("real/"), "log.adi"), 0, "Y", "20261210");
    EXPECT_EQ(readFile(tmp.file("real/h.adi")), marked) << "the other name sees the mark";
    ::stat(real.c_str(), &st);
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(st.st_nlink, 2u);
}

// One reading of a record: lengths count bytes; a UTF-8 record is read by characters only where its byte reading
// does not fit and the character reading takes no tag text into a value. A length that runs past the end of the
// file or into a following tag is noted; that record takes no mark where the tag is its <EOR> or its mark's.
TEST_F(AdifWrite, EachRecordHasOneReadingAndADoubtfulOneTakesNoMark)
{
    struct Case
    {
        const char* what;
        std::string file;
        std::vector<std::string> comments; // COMMENT of every record
        const char* noted; // in the note, or "" for none
        std::vector<bool> markable;
    };
    const std::vector<Case> cases = {
        {"UTF-8: tag text inside a value after a non-ASCII value",
         "<NAME:6>山田 <COMMENT:19><QSL_SENT:1>N <EOR> <EOR>\n<NAME:5>Smith <COMMENT:2>hi <EOR>\n",
         {"<QSL_SENT:1>N <EOR>", "hi"},
         "",
         {true, true}},
        {"7-bit: a whole tag inside a value", "<COMMENT:10>see <EOR>! <EOR>", {"see <EOR>!"}, "", {true}},
        {"a log of one record cut inside its last value", "<COMMENT:40>cut he", {"cut he"}, "1 件目", {false}},
        {"a log cut inside its last value",
         "<COMMENT:2>ok <EOR>\n<COMMENT:40>cut he",
         {"ok", "cut he"},
         "2 件目のレコードには送信マークを書き込みません",
         {true, false}},
        {"CP932: a length too long by the bytes of a character count",
         "<COMMENT:6>" + sj("山田") + "<EOR>\n<COMMENT:2>ok <EOR>\n",
         {sj("山田") + "<E"},
         "後ろのタグ",
         {false}},
        {"7-bit: a length that takes the start of the next field's tag",
         "<COMMENT:6>G4XYZ<BAND:3>40M <EOR>\n",
         {"G4XYZ<"},
         "後ろのタグ",
         {true}},
        {"7-bit: a length that takes a tag and leaves its value",
         "<COMMENT:21>hello<EOR>\n<CALL:5>K6LTE <EOR>\n<COMMENT:2>ok <EOR>\n",
         {"hello<EOR>\n<CALL:5>K6", "ok"},
         "後ろのタグ",
         {false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto t = make(c.file);
        EXPECT_EQ(column(*t, "COMMENT"), c.comments);
        const std::string note = t->ReadNote();
        if (*c.noted) {
            EXPECT_NE(note.find(c.noted), std::string::npos) << note;
        } else {
            EXPECT_EQ(note, "");
        }
        ASSERT_EQ(c.markable.size(), c.comments.size());
        for (long row = static_cast<long>(c.markable.size()); row-- > 0;) {
            const std::string before = readFile(path());
            if (c.markable[static_cast<std::size_t>(row)]) {
                mark(*t, row, "Y", "20261210");
                auto again = open(tmp.path(), "log.adi");
                EXPECT_EQ(column(*again, "COMMENT"), c.comments) << "the mark went into no value";
                EXPECT_EQ(column(*again, "QSL_SENT")[static_cast<std::size_t>(row)], "Y");
            } else {
                EXPECT_THROW(mark(*t, row, "Y", "20261210"), KelboError);
                EXPECT_EQ(readFile(path()), before);
            }
        }
    }
}

TEST(AdifTable, FileWithoutRecordsReadsAsNoRecordsWithANote)
{
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"header tags, no <EOH>, no <EOR>", "Status report\r\n<PROGRAMID:4>test\r\n<APP_X_EOF>\r\n"},
        {"a header and nothing after it", "<ADIF_VER:5>3.1.4 <EOH>\n"},
        {"an empty file", ""},
        {"a real export with a header only", readFile(KELBO_FIXTURES_DIR "/adif/header-only.adi")},
    };
    ASSERT_NE(cases.back().second.find("<EOH>"), std::string::npos) << "the real export is missing";
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        TempDir tmp;
        writeFile(tmp.file("log.adi"), bytes);
        auto t = open(tmp.path(), "log.adi");
        EXPECT_EQ(t->RecordCount(), 0);
        EXPECT_NE(t->ReadNote().find("QSO のレコードがありません"), std::string::npos) << t->ReadNote();
        EXPECT_EQ(readFile(tmp.file("log.adi")), bytes);
    }
}

// Every engine's rule for what CP932 cannot hold: "?" for such a character, CP932's own character for the JIS
// forms it holds under other code points.
TEST(AdifTable, Utf8ValuesReachTheProgramAsCp932)
{
    TempDir tmp;
    writeFile(tmp.file("log.adi"), "<NAME:23>Petäjävesi 赵 〜− <QTH:6>山田 <EOR>\n");
    auto t = open(tmp.path(), "log.adi");
    EXPECT_EQ(t->CellText(0, 0), "Pet?j?vesi ? \x81\x60\x81\x7C");
    EXPECT_EQ(t->CellText(0, 1), sj("山田"));

    // In a CP932 log a byte CP932 reads as no character (a lone lead byte, an undefined code) is shown as '?'.
    writeFile(tmp.file("cp.adi"), "<NAME:3>\x82 A <QTH:4>\xFC\xFC\x8E\x52 <CALL:6>JA1ZQX <EOR>\n");
    auto cp = open(tmp.path(), "cp.adi");
    EXPECT_EQ(cp->CellText(0, 0), "? A");
    EXPECT_EQ(cp->CellText(0, 1), "?\x8E\x52");
}

// A write keeps the encoding the log was opened with: one that would make the whole file read in another encoding
// is refused, and the open table reads on as a fresh opening of the written file does.
TEST_F(AdifWrite, WriteNeverChangesHowTheRestOfTheLogReads)
{
    // CP932 only because of the lone lead byte in the first QSL_SENT; the second NAME's bytes are also UTF-8 (é).
    const std::string original = "<CALL:6>JA1ZQX <QSL_SENT:1>\x82 <EOR>\n<CALL:5>K6LTE <NAME:2>\xC3\xA9 <EOR>\n";
    auto t = make(original);
    const auto rows = walk(*t);
    EXPECT_EQ(rows[1][1], "\xC3\xA9");
    try {
        mark(*t, 0, "Y", "20261210");
        ADD_FAILURE() << "written";
    } catch (const KelboError& e) {
        EXPECT_NE(std::string(e.what()).find("文字コード"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readFile(path()), original);
    mark(*t, 1, "Y", "20261210");
    EXPECT_EQ(walk(*open(tmp.path(), "log.adi"))[1][1], "\xC3\xA9");
}

// Records are read from the file when asked for: after writes that move them (by replacement and in place), the
// open table reads exactly as the file does when opened again, records longer than a read window included.
TEST_F(AdifWrite, OpenTableReadsOnAsTheWrittenFile)
{
    std::string bytes = "head <EOH>\n";
    for (int i = 0; i < 40; ++i) {
        const std::string comment(i % 7 == 3 ? 70000 : 5, static_cast<char>('a' + i % 26));
        bytes += "<CALL:4>C" + std::to_string(100 + i) + " <COMMENT:" + std::to_string(comment.size()) + ">" + comment
            + (i % 3 == 0 ? " <QSL_SENT:1>N" : "") + " <EOR>\n";
    }
    for (const bool hardLinked : {false, true}) {
        SCOPED_TRACE(hardLinked ? "in place" : "replaced");
        auto t = make(bytes);
        if (hardLinked) {
            ASSERT_EQ(::link(path().c_str(), tmp.file("other.adi").c_str()), 0);
        }
        {
            WriteBatch batch(*t);
            for (long row : {3L, 4L, 17L, 39L}) {
                mark(*t, row, "Y", "20261210");
            }
            batch.end();
        }
        mark(*t, 0, "Y", "20261211");
        const auto rows = walk(*t);
        EXPECT_EQ(rows, walk(*open(tmp.path(), "log.adi")));
        EXPECT_EQ(column(*t, "QSL_SDATE")[17], "20261210");
        EXPECT_EQ(rows[37][1].size(), 5u);
        ::unlink(tmp.file("other.adi").c_str());
    }
}

TEST(AdifTable, SendMarkRuleIsAdifsOwn)
{
    auto t = open(KELBO_SAMPLE_DIR, "LOG.ADI");
    const SendMarkRule rule = t->sendMarkRule();
    EXPECT_EQ(rule.mark, "Y");
    EXPECT_EQ(rule.dateField, "QSL_SDATE");
    EXPECT_EQ(rule.sendField, "QSL_SENT");
    for (const char* unsent : {"", " ", "N", "n", "R", "Q"}) {
        EXPECT_TRUE(rule.isUnsent(unsent)) << unsent;
    }
    for (const char* sent : {"Y", "y", "I", "F"}) {
        EXPECT_FALSE(rule.isUnsent(sent)) << sent;
    }
    // Other formats keep the program's own rule: only none or a blank is unsent.
    auto dbf = open(KELBO_SAMPLE_DIR, "LOG.DBF");
    EXPECT_TRUE(dbf->sendMarkRule().mark.empty());
    EXPECT_FALSE(dbf->sendMarkRule().isUnsent("N"));
}

} // namespace
