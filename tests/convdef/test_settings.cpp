#include "NormalUser.h"
#include "common/KelboError.h"
#include "convdef/ConvDefFile.h"
#include "convdef/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string readBytes(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    return f.readAll().toStdString();
}

void writeBytes(const std::string& path, const std::string& data)
{
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path;
    f.write(data.data(), static_cast<qint64>(data.size()));
}

class SettingsFile : public ::testing::Test
{
protected:
    std::string dirPath() const { return QFile::encodeName(m_dir.path()).toStdString() + "/"; }
    std::string iniPath() const { return SettingsPath(dirPath()); }
    QStringList folderEntries() const { return QDir(m_dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }

    QTemporaryDir m_dir;
};

TEST_F(SettingsFile, DesignValuesStayWithoutAFile)
{
    const KelboSettings def = DefaultSettings();
    EXPECT_EQ(def.Dir, QFile::encodeName(QDir::homePath() + "/LOGDATA").toStdString());
    EXPECT_EQ(def.Name, "LOG.DB");
    EXPECT_FALSE(def.AllSend);
    EXPECT_TRUE(def.UTC);
    EXPECT_EQ(def.SendMark, "F");
    for (const auto& e : def.Fields) {
        EXPECT_EQ(e, "NULL");
    }
    EXPECT_EQ(KelboSettings().Fields, def.Fields);

    KelboSettings s = def;
    LoadSettings(iniPath(), s);
    EXPECT_EQ(s.Dir, def.Dir);
    EXPECT_EQ(s.Fields, def.Fields);
    EXPECT_TRUE(folderEntries().isEmpty()) << "reading must not create the file";
    EXPECT_EQ(SettingsPath(""), "KELBO.ini");
}

TEST_F(SettingsFile, FirstSaveWritesEveryKeyInOrderAndReadsBack)
{
    KelboSettings s = DefaultSettings();
    s.Dir = ""; // a key with an empty value is not a missing key
    s.Name = "\x95\x5C.DB"; // CP932 whose trail byte is a backslash
    s.AllSend = true;
    s.UTC = false;
    s.SendMark = " F "; // blanks are part of the value
    s.Fields[0] = "QSL\xA2My\xA3";
    s.Fields[6] = ""; // empty, not "NULL"
    s.Fields[63] = "QSL[A=B]";
    SaveSettings(iniPath(), s);

    std::string expected = "[LOGFILE]\r\nDir=\r\nName=\x95\x5C.DB\r\n[CARDO]\r\nAllSend=1\r\nUTC=0\r\nSendMark= F \r\n"
                           "[Fields]\r\n";
    for (int i = 0; i < 64; ++i) {
        expected += "FIELD" + std::to_string(i + 1) + "=" + s.Fields[static_cast<std::size_t>(i)] + "\r\n";
    }
    EXPECT_EQ(readBytes(iniPath()), expected);

    KelboSettings back = DefaultSettings();
    LoadSettings(iniPath(), back);
    EXPECT_EQ(back.Dir, "");
    EXPECT_EQ(back.Name, s.Name);
    EXPECT_TRUE(back.AllSend);
    EXPECT_FALSE(back.UTC);
    EXPECT_EQ(back.SendMark, " F ");
    EXPECT_EQ(back.Fields, s.Fields);
    EXPECT_EQ(folderEntries(), QStringList{"KELBO.ini"}) << "no temporary file may stay behind";
}

TEST_F(SettingsFile, MissingAndOddValues)
{
    // Integers that do not read keep the value; FIELDn outside 1..64 and "FIELD01" are other keys.
    writeBytes(iniPath(),
               "[cardo]\nallsend=yes\nUTC=0x10\n[FIELDS]\nfield2=CALL\nFIELD0=X\nFIELD65=X\n"
               "FIELD01=X\nFIELD3=\n");
    KelboSettings s = DefaultSettings();
    s.Fields.fill("old");
    LoadSettings(iniPath(), s);
    EXPECT_FALSE(s.AllSend);
    EXPECT_TRUE(s.UTC);
    EXPECT_EQ(s.Name, "LOG.DB");
    EXPECT_EQ(s.Fields[0], "NULL");
    EXPECT_EQ(s.Fields[1], "CALL");
    EXPECT_EQ(s.Fields[2], "");
    EXPECT_EQ(s.Fields[3], "NULL");

    writeBytes(iniPath(), "[CARDO]\nAllSend=$1F\nUTC=0\n[LOGFILE]\nDir=" + std::string(1500, 'x') + "\n");
    LoadSettings(iniPath(), s);
    EXPECT_TRUE(s.AllSend);
    EXPECT_FALSE(s.UTC);
    EXPECT_EQ(s.Dir, std::string(1023, 'x')) << "a text comes back with at most 1023 bytes";
}

TEST_F(SettingsFile, WindowsWrittenFileReadsTheSameAndRewritesIdentically)
{
    const std::string fixture = readBytes(KELBO_TEST_DATA_DIR "/app/KELBO_windows.ini");
    writeBytes(iniPath(), fixture);
    KelboSettings s = DefaultSettings();
    LoadSettings(iniPath(), s);
    EXPECT_EQ(s.Dir, "D:\\\x83\x6E\x83\x80\\LOGDATA");
    EXPECT_EQ(s.Name, "\x95\x5CLOG.DB");
    EXPECT_TRUE(s.AllSend);
    EXPECT_FALSE(s.UTC);
    EXPECT_EQ(s.SendMark, "\x8D\xCF");
    EXPECT_EQ(s.Fields[0], "YYMMDD");
    EXPECT_EQ(s.Fields[4], "");
    EXPECT_EQ(s.Fields[5], "QSL\xA2My\xA3");
    EXPECT_EQ(s.Fields[6], "QSL\xA2\x95\x5C\x8E\xA6\xA3");
    EXPECT_EQ(s.Fields[63], "NULL");

    SaveSettings(iniPath(), s);
    EXPECT_EQ(readBytes(iniPath()), fixture);
}

TEST_F(SettingsFile, SavingKeepsForeignLinesAndChangesValuesInPlace)
{
    writeBytes(iniPath(),
               "; written by hand\n[Other]\nKey=keep me\n\n[logfile]\nDIR = old\nExtra=1\n\n"
               "[CARDO]\nUTC=1\n");
    KelboSettings s = DefaultSettings();
    s.Dir = "/data/log";
    SaveSettings(iniPath(), s);
    const std::string text = readBytes(iniPath());
    const std::string head = "; written by hand\r\n[Other]\r\nKey=keep me\r\n\r\n[logfile]\r\nDir=/data/log\r\n"
                             "Extra=1\r\nName=LOG.DB\r\n\r\n[CARDO]\r\nUTC=1\r\nAllSend=0\r\nSendMark=F\r\n"
                             "[Fields]\r\nFIELD1=NULL\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
}

TEST_F(SettingsFile, SavingKeepsPermissionsAndLinks)
{
    KelboSettings s = DefaultSettings();
    const std::string real = dirPath() + "real.ini";
    writeBytes(real, "[X]\r\nY=1\r\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.ini", iniPath().c_str()), 0);
    SaveSettings(iniPath(), s);

    struct stat st
    {
    };
    ASSERT_EQ(::lstat(iniPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link must stay a link";
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(readBytes(real).substr(0, 10), "[X]\r\nY=1\r\n");
}

TEST_F(SettingsFile, AFailedWriteIsReportedWithThePathAndChangesNothing)
{
    const KelboSettings s = DefaultSettings();
    const std::string missingFolder = dirPath() + "no/such/folder/KELBO.ini";
    try {
        SaveSettings(missingFolder, s);
        FAIL() << "no error";
    } catch (const KelboError& e) {
        EXPECT_EQ(std::string(e.what()), missingFolder + " に書き込めません");
    }

    // A settings "file" that is a folder: its content must survive.
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("KELBO.ini/inside"));
    EXPECT_THROW(SaveSettings(iniPath(), s), KelboError);
    EXPECT_TRUE(QDir(m_dir.path() + "/KELBO.ini/inside").exists());
    EXPECT_EQ(folderEntries(), QStringList{"KELBO.ini"});

    // Reading it is no error: the values stay.
    KelboSettings r = s;
    LoadSettings(iniPath(), r);
    EXPECT_EQ(r.Name, "LOG.DB");
}

} // namespace

// A settings or definition file the user may not write is not replaced, whoever runs KELBO.
TEST_F(SettingsFile, WriteProtectedFilesAreNotReplaced)
{
    const KelboSettings s = DefaultSettings();
    const std::string before = "[LOGFILE]\r\nDir=/keep\r\n";
    const std::string def = dirPath() + "ConvDef.def";
    writeBytes(iniPath(), before);
    writeBytes(def, before);
    const int result = normaluser::run(
        [&] {
            int failures = 0;
            ::chmod(iniPath().c_str(), 0444);
            ::chmod(def.c_str(), 0444);
            try {
                SaveSettings(iniPath(), s);
                ++failures;
            } catch (const KelboError& e) {
                failures += std::string(e.what()) == iniPath() + " に書き込めません" ? 0 : 1;
            }
            failures += SaveConvDefFile(def, s.Fields) ? 1 : 0;
            failures += readBytes(iniPath()) == before && readBytes(def) == before ? 0 : 1;
            return failures;
        },
        {dirPath(), iniPath(), def});
    if (result < 0) {
        GTEST_SKIP() << "cannot drop root privileges for the permission case";
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(iniPath()), before);
    EXPECT_EQ(folderEntries(), (QStringList{"ConvDef.def", "KELBO.ini"})) << "no temporary file is left";
}

// A folder CP932 cannot name survives a restart; a file changed on Windows afterwards keeps its own folder.
TEST_F(SettingsFile, FolderOutsideCp932SurvivesARestart)
{
    for (const QString& folder : {QStringLiteral("/home/jürg/LOGDATA"), QStringLiteral("/home/café/한글")}) {
        SCOPED_TRACE(folder.toStdString());
        KelboSettings s = DefaultSettings();
        SetDirText(s, folder);
        SaveSettings(iniPath(), s);
        KelboSettings back = DefaultSettings();
        ASSERT_TRUE(LoadSettings(iniPath(), back));
        EXPECT_EQ(DirText(back), folder);
    }
    // The Windows program only knows "Dir": once it changed that, "DirUTF8" no longer counts.
    std::string text = readBytes(iniPath());
    const auto at = text.find("Dir=");
    text.replace(at, text.find("\r\n", at) - at, "Dir=C:\\LOGDATA");
    writeBytes(iniPath(), text);
    KelboSettings back = DefaultSettings();
    LoadSettings(iniPath(), back);
    EXPECT_EQ(DirText(back), QStringLiteral("C:\\LOGDATA"));

    // A folder CP932 holds needs no second key, and an old one goes.
    SetDirText(back, QStringLiteral("/home/op/ログ"));
    EXPECT_TRUE(back.DirUnicode.empty());
    SaveSettings(iniPath(), back);
    EXPECT_EQ(readBytes(iniPath()).find("DirUTF8"), std::string::npos);
    EXPECT_EQ(DirText(DefaultSettings()), QDir::homePath() + "/LOGDATA");
}

TEST_F(SettingsFile, NonRegularFilesAreNeverWaitedOn)
{
    ASSERT_EQ(::mkfifo(iniPath().c_str(), 0644), 0);
    KelboSettings s = DefaultSettings();
    EXPECT_FALSE(LoadSettings(iniPath(), s)) << "a FIFO is no settings file";
    EXPECT_EQ(s.Name, "LOG.DB");
    EXPECT_THROW(SaveSettings(iniPath(), s), KelboError);
    const std::string fifo = dirPath() + "fifo.def";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(LoadConvDefFile(fifo, s.Fields));
}

// The field names the definition was made for go into a section of our own; the "Fields" keys stay as they are.
TEST_F(SettingsFile, DefinitionFieldNamesComeBackFromTheirOwnSection)
{
    KelboSettings s = DefaultSettings();
    s.Fields[2] = "CALL";
    s.FieldNames[2] = "CALL";
    s.FieldNames[13] = "QSL_SENT";
    SaveSettings(iniPath(), s);
    const std::string text = readBytes(iniPath());
    EXPECT_NE(text.find("\r\nFIELD3=CALL\r\n"), std::string::npos);
    EXPECT_NE(text.find("[FieldNames]\r\nNAME3=CALL\r\nNAME14=QSL_SENT\r\n"), std::string::npos) << text;

    KelboSettings back = DefaultSettings();
    ASSERT_TRUE(LoadSettings(iniPath(), back));
    EXPECT_EQ(back.FieldNames, s.FieldNames);

    s.FieldNames[13].clear(); // a name no longer known leaves no key behind
    SaveSettings(iniPath(), s);
    EXPECT_EQ(readBytes(iniPath()).find("NAME14"), std::string::npos);
}
