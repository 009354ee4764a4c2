// kelbo-lines end to end: the built program run on a small delimited log with a definition file and a
// settings file, its flags, and its errors.
#include "TableWriters.h"
#include "common/Cp932.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
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

/** Runs kelbo-lines in @p cwd with @p configHome as XDG_CONFIG_HOME; by default both are an empty folder of
 * their own, so that no settings file of the real home is read. */
Outcome run(const QStringList& args, const QString& cwd = QString(), const QString& configHome = QString())
{
    QTemporaryDir empty;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.isEmpty() ? empty.path() : configHome);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(cwd.isEmpty() ? empty.path() : cwd);
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
        ASSERT_TRUE(QFile::exists(kProgram)) << "kelbo-lines is not built: " << kProgram.toStdString();
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
        if (c.args.contains("--ini")) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find("KELBO/KELBO.ini はありません. 既定の設定を使います"), std::string::npos) << r.err;
        }
    }
}

// Without --ini the same file as KELBO's: KELBO.ini in the current folder when there is one, else the one in the
// user's settings folder; stderr names it.
TEST_F(KelboLines, WithoutIniReadsTheSettingsFileKelboUses)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString config = home.filePath("conf");
    const QString here = home.filePath("here");
    ASSERT_TRUE(QDir().mkpath(config + "/KELBO") && QDir().mkpath(here));
    ASSERT_TRUE(QFile::copy(data("KELBO.ini"), config + "/KELBO/KELBO.ini"));
    const std::string fromSettings = kLine0Jst
        + "1\t00.05.03,1234,QX2DEF,59,14.2,SSB,,\"Bob \"B\"\",\"Osaka, JP\",\"\",,,0\n"
        + "3\t00.05.04,0100,QX3GHI,599,7,CW,,\"\",\"\",\"\",F,,0\n" + kLine4;

    Outcome r = run({kData, "log.csv"}, here, config);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, fromSettings);
    EXPECT_EQ(r.err, "kelbo-lines: 設定ファイル " + config.toStdString() + "/KELBO/KELBO.ini を使います\n");

    // A settings file in the current folder wins; this one has every field "NULL".
    QFile local(here + "/KELBO.ini");
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write("[CARDO]\r\nUTC=0\r\n");
    local.close();
    r = run({kData, "log.csv"}, here, config);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kelbo-lines: 設定ファイル " + here.toStdString() + "/KELBO.ini を使います\n");

    // An unreadable one is an error, as with --ini.
    const QString inConfig = config + "/KELBO/KELBO.ini";
    ASSERT_TRUE(QFile::remove(here + "/KELBO.ini") && QFile::remove(inConfig) && QDir().mkdir(inConfig));
    r = run({kData, "log.csv"}, here, config);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kelbo-lines: 設定ファイル " + inConfig.toStdString() + " を読めません\n");
}

// The sample log in its three formats with its own settings file: records already marked "F" stay back, UTC
// times move on nine hours (two of them into the next day), a J time stays, and the empty remarks still leave
// the blank that "ADDQSL" adds after the QSL manager.
TEST_F(KelboLines, SampleLogInEveryFormat)
{
    const QString sample = QStringLiteral(KELBO_SAMPLE_DIR);
    QFile templ(sample + "/KELBO.ini.in");
    ASSERT_TRUE(templ.open(QIODevice::ReadOnly)) << "no sample log in " << sample.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile ini(dir.filePath("KELBO.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(templ.readAll().replace("@LOGDATA@", sample.toUtf8()));
    ini.close();

    const std::string expected
        = "4\t24.04.29,1045,JE7QAS,59,430.10,FM,,\"鈴木 花子\",\"宮城県仙台市\",\"VIA[JARL] 移動運用\",,,0\n"
          "6\t24.04.30,2108,VK2FTW,57,21.280,SSB,,\"ピーター\",\"オーストラリア シドニー\",\"VIA[VK2ABC] QSL "
          "VIA\",,,0\n"
          "8\t24.05.01,1355,K6LTE,579,14.030,CW,,\"マイク\",\"アメリカ カリフォルニア\",\"VIA[LoTW] \",,,0\n"
          "10\t24.05.01,1410,JJ1SEO,-10,7.041,FT8,,\"中村 五郎\",\"千葉県船橋市\",\"VIA[JARL] \",,,0\n"
          "12\t24.05.03,0000,BV2KI,599,14.010,CW,,\"リン\",\"台湾 台北\",\"VIA[DIRECT] \",,,0\n"
          "14\t24.05.03,1120,JH0FGR,599,10.115,CW,,\"加藤 七海\",\"長野県松本市\",\"VIA[JARL] \",,,0\n"
          "16\t24.05.04,0815,JQ1YCZ,59,1295.0,FM,,\"吉田 八重\",\"埼玉県さいたま市\",\"VIA[JARL] ｸﾗﾌﾞ局\",,,0\n"
          "18\t24.05.05,1240,KH6DX,599,28.025,CW,,\"カイ\",\"ハワイ ホノルル\",\"VIA[W6ABC] \",,,0\n"
          "20\t24.05.06,0030,VR2XMT,59,21.300,SSB,,\"ウォン\",\"香港\",\"VIA[DIRECT] 日付変更あり\",,,0\n"
          "22\t24.05.06,1900,JE1CKA,59,3.780,SSB,,\"木村 優子\",\"東京都八王子市\",\"VIA[JARL] \",,,0\n"
          "24\t24.05.07,2130,JH1OJW,59,28.500,SSB,,\"林 大輔\",\"茨城県水戸市\",\"VIA[JARL] \",,,0\n"
          "25\t24.05.08,1455,G4RCK,599,7.020,CW,,\"ジョン\",\"イギリス ロンドン\",\"VIA[G BURO] \",,,0\n"
          "27\t24.05.09,1005,JK2VOC,-05,14.074,FT8,,\"森 昭夫\",\"静岡県浜松市\",\"VIA[JARL] \",,,0\n"
          "28\t24.05.10,0858,JA0BJY,59,7.055,SSB,,\"池田 聡\",\"新潟県新潟市\",\"VIA[JARL] UTC 記入\",,,0\n";
    for (const char* table : {"LOG.DB", "LOG.DBF", "LOG.TXT"}) {
        SCOPED_TRACE(table);
        const Outcome r = run({"--ini", ini.fileName(), sample, table});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, expected);

        // With --all every record is passed, marked ones too, each at its own position.
        const Outcome all = run({"--ini", ini.fileName(), "--all", sample, table});
        EXPECT_EQ(all.exitCode, 0) << all.err;
        EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 30);
        EXPECT_EQ(
            all.out.rfind(
                "0\t24.04.28,0912,JA1ZQX,59,7.045,SSB,,\"山田 太郎\",\"東京都世田谷区\",\"VIA[JARL] 初QSO\",F,R,0\n"
                "1\t",
                0),
            0u);
        EXPECT_NE(all.out.find("\n2\t24.04.29,0815,JR6PMB,59,14.215,SSB,,\"比嘉 健\",\"沖縄県那覇市\",\"VIA[DIRECT] "
                               "ｺﾝﾃｽﾄ ①\",F,R,0\n"),
                  std::string::npos);
    }
}

// A dBASE III log with a memo file: names, every record's texts (memo included) as CSV in UTF-8, quoted where a
// field holds a comma, a quote, a line break or blanks at its ends; empty markers as empty fields.
TEST_F(KelboLines, FieldsDumpsTheWholeTableAsCsv)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string dbf = tablewrite::dbaseBytes(
        {{"CALL", 'C', 8}, {"NAME", 'C', 16}, {"RST", 'N', 3}, {"DAY", 'D', 8}, {"NOTE", 'M', 10}},
        {{"JA1AA", cp932::fromUtf8("山田 太郎"), "599", "20240501", "         1"},
         {" JA2BB", "Bob, Jr.", "***", "00000000", ""}});
    std::string dbt(512, '\0');
    dbt[0] = 2;
    dbt += cp932::fromUtf8("移動運用, \"QRP\"\r\n5W") + "\x1A\x1A";
    for (const auto& [name, bytes] : {std::pair<const char*, std::string>{"log.dbf", dbf}, {"log.dbt", dbt}}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes.data(), static_cast<int>(bytes.size())));
    }

    const Outcome r = run({"--fields", dir.path(), "log.dbf"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "CALL,NAME,RST,DAY,NOTE\r\n"
              "JA1AA,山田 太郎,599,2024/05/01,\"移動運用, \"\"QRP\"\"\r\n5W\"\r\n"
              "\" JA2BB\",\"Bob, Jr.\",,,\r\n");

    // Without its memo file the table is still dumped; the note goes to standard error.
    ASSERT_TRUE(QFile::remove(dir.filePath("log.dbt")));
    const Outcome noMemo = run({"--fields", dir.path(), "log.dbf"});
    EXPECT_EQ(noMemo.exitCode, 0);
    EXPECT_EQ(noMemo.out,
              "CALL,NAME,RST,DAY,NOTE\r\nJA1AA,山田 太郎,599,2024/05/01,\r\n\" JA2BB\",\"Bob, Jr.\",,,\r\n");
    EXPECT_NE(noMemo.err.find("log.dbt"), std::string::npos) << noMemo.err;
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
        {{"--ini", dir.path(), kData, "log.csv"}, 1, "設定ファイル"},
        {{"--def", data("missing.def"), kData, "log.csv"}, 1, "missing.def"},
        {{kData}, 2, "DIR と TABLE"},
        {{kData, "log.csv", "extra"}, 2, "多すぎます"},
        {{"--utc", "--no-utc", kData, "log.csv"}, 2, "--utc"},
        {{"--def"}, 2, "--def"},
        {{"--bogus", kData, "log.csv"}, 2, "--bogus"},
        {{"--fields", dir.path(), "bad.db"}, 1, "bad.db"},
        {{"--fields", "--all", kData, "log.csv"}, 2, "--fields"},
        {{"--save", "x.def", kData, "log.csv"}, 2, "--save は --guess と一緒に"},
        {{"--guess", "--all", kData, "log.csv"}, 2, "--guess は"},
        {{"--guess", "--save", "/nonexistent/x.def", kData, "log.csv"}, 1, "/nonexistent/x.def"},
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

// The guess on the bundled ADIF log, printed and saved, and the lines that definition gives: every Japanese-time
// contact comes back at its own time after the log's UTC and the nine-hour shift.
TEST_F(KelboLines, GuessPrintsAndSavesTheDefinitionForTheTable)
{
    const QStringList expressions = {"YYMMDD", "%2h%2i", "CALL",     "NULL", "FREQ",     "MODE", "RST", "QSL｢My｣",
                                     "NAME",   "QTH",    "QSL[REM]", "RECV", "QSL[VIA]", "SEND", "NULL"};
    std::string expected;
    for (int k = 1; k <= 64; ++k) {
        expected += "FIELD" + std::to_string(k) + "="
            + (k <= expressions.size() ? expressions[k - 1].toStdString() : std::string("NULL")) + "\n";
    }
    QTemporaryDir dir;
    const QString def = dir.path() + "/adif.def";
    const Outcome r = run({"--guess", "--save", def, KELBO_SAMPLE_DIR, "LOG.ADI"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    QFile saved(def);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QByteArray cp932 = QByteArray::fromStdString(expected).replace("\n", "\r\n");
    cp932.replace("｢", "\xA2").replace("｣", "\xA3");
    EXPECT_EQ(saved.readAll(), cp932);

    const Outcome lines = run({"--def", def, KELBO_SAMPLE_DIR, "LOG.ADI"});
    EXPECT_EQ(lines.exitCode, 0) << lines.err;
    EXPECT_EQ(lines.out.substr(0, lines.out.find('\n') + 1),
              "4\t24.04.29,1045,JE7QAS,59,430.10,FM,,\"鈴木 花子\",\"宮城県仙台市\",\"My｢59｣ REM[移動運用]\",,,0\n");
    EXPECT_NE(lines.out.find("\n12\t24.05.03,0000,BV2KI,599,14.010,CW,"), std::string::npos) << lines.out;

    // A damaged log is read as far as it goes, and standard error says what was left.
    QFile damaged(dir.path() + "/bad.adi");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("<CALL:6>JA1ZQX<EOR><CALL:40>K6LTE");
    damaged.close();
    const Outcome partial = run({"--guess", dir.path(), "bad.adi"});
    EXPECT_EQ(partial.exitCode, 0);
    EXPECT_EQ(partial.out.substr(0, 11), "FIELD1=CALL");
    EXPECT_NE(partial.err.find("bad.adi"), std::string::npos) << partial.err;
}

} // namespace

// What the table could not read is told on standard error; the lines still come.
TEST_F(KelboLines, ReadNoteGoesToStandardError)
{
    QTemporaryDir dir;
    // A dBASE III log with a memo field whose memo file is missing.
    const std::string dbf
        = tablewrite::dbaseBytes({{"CALL", 'C', 8}, {"SEND", 'C', 1}, {"NOTE", 'M', 10}}, {{"QX1ABC", "", ""}});
    QFile log(dir.filePath("log.dbf"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write(QByteArray(dbf.data(), static_cast<int>(dbf.size())));
    log.close();
    const Outcome r = run({dir.path() + "/", "log.dbf"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("kelbo-lines: メモファイル " + dir.path().toStdString()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("log.dbt"), std::string::npos) << r.err;
}
