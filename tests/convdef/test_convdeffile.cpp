#include "convdef/ConvDefFile.h"
#include "convert/ConvDefTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::string readBytes(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll().toStdString();
}

ConvDefTable markedTable()
{
    ConvDefTable t;
    for (std::size_t i = 0; i < t.size(); ++i) {
        t[i] = "old" + std::to_string(i);
    }
    return t;
}

TEST(ConvDefFile, LineRules)
{
    // Each case starts from entries "old0".."old63"; only the listed entries may change.
    struct Case
    {
        std::string content;
        std::vector<std::pair<int, std::string>> changed; // position, new value
    };
    const std::string sixHundred(600, 'x');
    const Case cases[] = {
        {"FIELD1=CALL\r\n", {{0, "CALL"}}},
        {"FIELD64=NULL", {{63, "NULL"}}}, // no line end on the last line
        {"FIELD7=\r\n", {{6, ""}}},
        {"FIELD0=CALL\nFIELD65=CALL\nField3=CALL\nfield3=CALL\n FIELD3=CALL\n", {}},
        {"FIELD 3=CALL\n", {{2, "CALL"}}},
        {"FIELD03=CALL\n", {{2, "CALL"}}},
        {"FIELD+4=CALL\n", {{3, "CALL"}}},
        {"FIELD-4=CALL\nFIELD=CALL\nFIELDx3=CALL\nFIELD3\n", {}},
        {"FIELD3 = CALL\n", {{2, " CALL"}}},
        {"FIELD3abc=CALL\n", {{2, "CALL"}}}, // anything after the number up to "=" is passed over
        {"FIELD5=QSL[A=B]\r\n", {{4, "QSL[A=B]"}}},
        {"FIELD2=a\rb\n", {{1, "a"}}}, // a lone CR ends the value
        {"FIELD1=A\nFIELD2=B\nFIELD1=C\n", {{0, "C"}, {1, "B"}}},
        {std::string("FIELD1=A\0B\nFIELD2=\0\nFIELD3=C", 28), {{0, "A"}, {1, ""}, {2, "C"}}},
        {"[Fields]\r\nFIELD2=HHmm\r\n", {{1, "HHmm"}}}, // a settings file reads as a definition file
        {"FIELD4=\x95\x5C\x8E\xA6\r\n", {{3, "\x95\x5C\x8E\xA6"}}},
        // A line longer than 511 bytes is read as several pieces, each a line of its own.
        {"FIELD1=" + std::string(504, 'x') + "FIELD2=tail\n", {{0, std::string(504, 'x')}, {1, "tail"}}},
        {"FIELD1=" + sixHundred + "\n", {{0, std::string(504, 'x')}}},
        // A double-byte character across byte 511 moves whole into the next piece.
        {"FIELD1=" + std::string(503, 'x') + "\x95\x5C" + "FIELD2=t\n", {{0, std::string(503, 'x')}}},
        {"FIELD1=" + std::string(503, 'x') + "\x95\x5C\n", {{0, std::string(503, 'x')}}},
        // CR LF counts as one byte towards the piece, as the line reader sees it.
        {"FIELD1=" + std::string(503, 'x') + "\r\nFIELD2=B\r\n", {{0, std::string(503, 'x')}, {1, "B"}}},
    };
    for (const auto& c : cases) {
        ConvDefTable t = markedTable();
        ConvDefTable expected = markedTable();
        for (const auto& [pos, value] : c.changed) {
            expected[static_cast<std::size_t>(pos)] = value;
        }
        LoadConvDefText(c.content, t);
        for (std::size_t i = 0; i < t.size(); ++i) {
            EXPECT_EQ(t[i], expected[i]) << "entry " << i << " of " << c.content.substr(0, 40);
        }
    }
}

TEST(ConvDefFile, LineEndsDoNotMatter)
{
    ConvDefTable crlf = markedTable();
    ConvDefTable lf = markedTable();
    LoadConvDefText("FIELD1=A\r\nFIELD2=\r\nFIELD3=C\r\n", crlf);
    LoadConvDefText("FIELD1=A\nFIELD2=\nFIELD3=C", lf);
    EXPECT_EQ(crlf, lf);
    EXPECT_EQ(lf[1], "");
}

class ConvDefFiles : public ::testing::Test
{
protected:
    std::string path(const char* name) const { return QFile::encodeName(m_dir.filePath(name)).toStdString(); }
    QTemporaryDir m_dir;
};

TEST_F(ConvDefFiles, SaveWrites64LinesAndLoadsBack)
{
    ConvDefTable t = NullConvDefTable();
    std::string expected;
    for (int k = 1; k <= 64; ++k) {
        expected += "FIELD" + std::to_string(k) + "=NULL\r\n";
    }
    ASSERT_TRUE(SaveConvDefFile(path("ConvDef.def"), t));
    EXPECT_EQ(readBytes(m_dir.filePath("ConvDef.def")), expected);

    t[0] = "QSL\xA2My\xA3";
    t[6] = "";
    t[9] = "X\r\nFIELD1=injected"; // nothing after a line break could come back as part of the entry
    ASSERT_TRUE(SaveConvDefFile(path("ConvDef.def"), t));
    ConvDefTable back = markedTable();
    ASSERT_TRUE(LoadConvDefFile(path("ConvDef.def"), back));
    EXPECT_EQ(back[0], t[0]);
    EXPECT_EQ(back[6], "");
    EXPECT_EQ(back[9], "X");
    EXPECT_EQ(back[63], "NULL");
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"ConvDef.def"});
}

TEST_F(ConvDefFiles, FailuresLeaveEverythingAsItWas)
{
    ConvDefTable t = markedTable();
    EXPECT_FALSE(LoadConvDefFile(path("missing.def"), t));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder.def"));
    EXPECT_FALSE(LoadConvDefFile(path("folder.def"), t));
    EXPECT_EQ(t, markedTable());

    EXPECT_FALSE(SaveConvDefFile(path("no/such/folder/a.def"), t));
    EXPECT_FALSE(SaveConvDefFile(path("folder.def"), t));
    EXPECT_TRUE(QFileInfo(m_dir.filePath("folder.def")).isDir());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"folder.def"});
}

} // namespace
