// kelbo-lines end to end: the built program run on a small delimited log with a definition file and a
// settings file, its flags, and its errors.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QString kProgram = QStringLiteral(KELBO_BINARY_DIR "/src/lines/kelbo-lines");
const QString kData = QStringLiteral(KELBO_TEST_DATA_DIR "/lines");

struct Outcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

Outcome run(const QStringList& args)
{
    QProcess process;
    process.start(kProgram, args);
    EXPECT_TRUE(process.waitForFinished(30000)) << "kelbo-lines did not finish: " << kProgram.toStdString();
    Outcome r;
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = process.readAllStandardOutput().toStdString();
    r.err = process.readAllStandardError().toStdString();
    return r;
}

QString data(const char* name)
{
    return kData + "/" + name;
}

class KelboLines : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFile::exists(kProgram)) {
            GTEST_SKIP() << "kelbo-lines is not built";
        }
    }
};

// The log (UTF-8 here; CP932 on disk): 0 a UTC contact with a Japanese name and a QSL manager, 1 a contact in
// Japanese time with a portable suffix and quotes in the name, 2 no call sign, 3 already sent ("F"),
// 4 a send mark that begins with a blank and a time with a zone letter Z.
const std::string kLine0Utc = "0\t00.01.01,0830,QX1ABC,599,7.050,CW,,\"山田 太郎\",\"東京都\",\"VIA[QX9ZZZ]\",,,0\n";
const std::string kLine0Jst = "0\t99.12.31,2330,QX1ABC,599,7.050,CW,,\"山田 太郎\",\"東京都\",\"VIA[QX9ZZZ]\",,,0\n";
const std::string kLine1 = "1\t00.05.03,1234,QX2DEF/P,59,14.2,SSB,,\"Bob \"B\"\",\"Osaka, JP\",\"\",,,0\n";
const std::string kLine3Utc = "3\t00.05.04,1000,QX3GHI,599,7,CW,,\"\",\"\",\"\",F,,0\n";
const std::string kLine4 = "4\t00.05.05,1100,QX4JKL,579,3.5,FT8,,\"\",\"\",\"\", ,,0\n";

TEST_F(KelboLines, PrintsThePassedRecordsOfTheLog)
{
    struct Case
    {
        QStringList args;
        std::string out;
    };
    const std::vector<Case> cases = {
        // Design defaults: UTC on, AllSend off.
        {{"--def", data("log.def"), kData, "log.csv"}, kLine0Utc + kLine1 + kLine4},
        // The settings file: its own definition (no second CALL field), AllSend on, UTC off.
        {{"--ini", data("KELBO.ini"), kData, "log.csv"},
         kLine0Jst + "1\t00.05.03,1234,QX2DEF,59,14.2,SSB,,\"Bob \"B\"\",\"Osaka, JP\",\"\",,,0\n"
             + "3\t00.05.04,0100,QX3GHI,599,7,CW,,\"\",\"\",\"\",F,,0\n" + kLine4},
        // --def takes the place of the settings file's definition; flags win over the settings file.
        {{"--ini", data("KELBO.ini"), "--def", data("log.def"), "--utc", kData, "log.csv"},
         kLine0Utc + kLine1 + kLine3Utc + kLine4},
        {{"--def=" + data("log.def"), "--no-utc", "--all", kData, "log.csv"},
         kLine0Jst + kLine1 + "3\t00.05.04,0100,QX3GHI,599,7,CW,,\"\",\"\",\"\",F,,0\n" + kLine4},
        // Without a definition every field is "NULL": no record has a call sign.
        {{kData, "log.csv"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Outcome r = run(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(KelboLines, ErrorsGoToStandardErrorAndChangeNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile bad(dir.filePath("bad.db"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(300, 'x'));
    bad.close();
    QFile log(data("log.csv"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray before = log.readAll();
    log.close();

    struct Case
    {
        QStringList args;
        int exitCode;
        std::string inMessage;
    };
    const std::vector<Case> cases = {
        {{"--def", data("log.def"), kData, "missing.csv"}, 1, "missing.csv"},
        {{dir.path(), "bad.db"}, 1, "bad.db"},
        {{"--ini", data("missing.ini"), kData, "log.csv"}, 1, "missing.ini"},
        {{"--ini", dir.path(), kData, "log.csv"}, 1, "settings file"},
        {{"--def", data("missing.def"), kData, "log.csv"}, 1, "missing.def"},
        {{kData}, 2, "DIR and TABLE"},
        {{kData, "log.csv", "extra"}, 2, "too many"},
        {{"--utc", "--no-utc", kData, "log.csv"}, 2, "--utc"},
        {{"--def"}, 2, "--def"},
        {{"--bogus", kData, "log.csv"}, 2, "--bogus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Outcome r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("kelbo-lines: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.inMessage), std::string::npos) << r.err;
    }
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), before);

    const Outcome help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: kelbo-lines [--ini FILE] [--def FILE] [--all] [--utc | --no-utc] DIR TABLE"),
              std::string::npos);
}

} // namespace
