// Cards count as printed only when they came out: every job goes to a real print scheduler (cupsd on a private
// socket) and its end decides which lines are printed and which card numbers are used.
#include "CardLayout.h"
#include "CardSettings.h"
#include "CardoApplication.h"
#include "LabelSheet.h"
#include "PrivateCups.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

cardtest::PrivateCups* g_cups = nullptr;

class CupsEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        qputenv("KELBO_CARDPRINTER_JOB_POLL_MS", "100");
        g_cups = new cardtest::PrivateCups;
    }
    void TearDown() override
    {
        delete g_cups;
        g_cups = nullptr;
    }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new CupsEnvironment);

/** The page size of a PDF as pdfinfo reads it ("283.465 x 419.528 pts"). */
QString pageSize(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(20000);
    const QString info = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+ x [0-9.]+ pts)")).match(info);
    return m.hasMatch() ? m.captured(1) : info;
}

class PrintJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CardSettings s;
        s.call = QStringLiteral("JA1KEL");
        s.nextCardNumber = 41;
        ASSERT_TRUE(saveCardSettings(s, settingsPath()));
        app = std::make_unique<CardoApplication>(settingsPath());
        const char* lines[] = {
            R"(24.04.28,1208,JA1ZQX,59,7.045,SSB,,"山田 太郎","東京都","",,,0)",
            R"(24.04.28,1300,JH3KVW,599,7.012,CW,,"佐藤 一郎","大阪府","",,,0)",
            R"(24.04.29,1011,JR6ABC,59,7.045,SSB,,"","","",,,0)",
        };
        int position = 3;
        for (const char* l : lines) {
            app->AddLogPos(QString::fromUtf8(l), position);
            position += 2;
        }
        app->DoLogList();
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("kelbo-cardprinter.ini")); }
    int savedNumber() const
    {
        return QSettings(settingsPath(), QSettings::IniFormat).value(QStringLiteral("Card/NextNumber")).toInt();
    }
    std::vector<int> printedPositions()
    {
        std::vector<int> out;
        for (int i = 0; i < app->logCount(); ++i) {
            out.push_back(app->GetPrintedPos(i));
        }
        return out;
    }
    /** Lets the job run until it ended; false when it did not end in time. */
    bool waitForJob()
    {
        QElapsedTimer t;
        t.start();
        while (app->jobPending() && t.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
        return !app->jobPending();
    }

    QTemporaryDir dir;
    std::unique_ptr<CardoApplication> app;
};

TEST_F(PrintJobTest, OnlyACompletedJobMakesItsLinesPrintedAndUsesItsNumbers)
{
    if (!g_cups->ok()) {
        GTEST_SKIP() << g_cups->why().toStdString();
    }
    struct Case
    {
        const char* what;
        const char* printer;
        std::function<bool()> before; // puts the queue into the state the case needs
        std::function<bool()> after; // and back
        bool accepted; // the print system takes the job
        bool printed; // and it comes out
        const char* told; // a word of what the operator is told
    } cases[] = {
        {"completed", "cards", [] { return true; }, [] { return true; }, true, true, ""},
        {"rejected", "cards", [] { return g_cups->admin(QStringLiteral("cupsreject"), {QStringLiteral("cards")}); },
         [] { return g_cups->admin(QStringLiteral("cupsaccept"), {QStringLiteral("cards")}); }, false, false,
         "受け付けませんでした"},
        {"stopped", "cards", [] { return g_cups->admin(QStringLiteral("cupsdisable"), {QStringLiteral("cards")}); },
         [] { return g_cups->admin(QStringLiteral("cupsenable"), {QStringLiteral("cards")}); }, true, false, "停止"},
        {"held", "cards",
         [] {
             return g_cups->admin(QStringLiteral("lpadmin"),
                                  {QStringLiteral("-p"), QStringLiteral("cards"), QStringLiteral("-o"),
                                   QStringLiteral("job-hold-until-default=indefinite")});
         },
         [] {
             return g_cups->admin(QStringLiteral("lpadmin"),
                                  {QStringLiteral("-p"), QStringLiteral("cards"), QStringLiteral("-o"),
                                   QStringLiteral("job-hold-until-default=no-hold")});
         },
         true, false, "保留"},
        {"aborted", "broken", [] { return true; }, [] { return true; }, true, false, "中止"},
        {"no card paper", "a4only", [] { return true; }, [] { return true; }, false, false, "100 x 148 mm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp(); // fresh lines and numbers for each case
        ASSERT_TRUE(c.before()) << g_cups->why().toStdString();
        const int filesBefore = g_cups->printed().size();
        QSignalSpy ended(app.get(), &CardoApplication::jobEnded);
        PrintTarget target;
        target.printer = QString::fromLatin1(c.printer);
        QString message;
        const bool sent = app->print(app->cardsFor({0, 2}), target, &message);
        EXPECT_EQ(sent, c.accepted) << message.toStdString();
        if (sent) {
            // Until the job ends the lines are on it: the log program sees nothing printed yet.
            EXPECT_EQ(app->printStat(), 1);
            EXPECT_EQ(printedPositions(), (std::vector<int>{-1, -1, -1}));
            EXPECT_EQ(app->model()->index(0, HeldLinesModel::State).data().toString(), QStringLiteral("印刷中"));
            EXPECT_EQ(savedNumber(), 43) << "the next number is on disk before the job goes out";
            ASSERT_TRUE(waitForJob());
            ASSERT_EQ(ended.size(), 1);
            EXPECT_EQ(ended[0][0].toBool(), c.printed);
            message = ended[0][1].toString();
        }
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.told))) << message.toStdString();
        if (c.printed) {
            EXPECT_EQ(app->printStat(), 2);
            EXPECT_EQ(printedPositions(), (std::vector<int>{3, -1, 7}));
            EXPECT_EQ(app->settings().nextCardNumber, 43);
            EXPECT_EQ(savedNumber(), 43);
            const QStringList files = g_cups->printed();
            ASSERT_EQ(files.size(), filesBefore + 1);
            const QString spooled = g_cups->out() + QLatin1Char('/') + files.last();
            EXPECT_EQ(pageSize(spooled), QStringLiteral("283 x 420 pts")) << "100 x 148 mm portrait";
        } else {
            EXPECT_EQ(app->printStat(), 0);
            EXPECT_EQ(printedPositions(), (std::vector<int>{-1, -1, -1}));
            EXPECT_EQ(app->model()->index(0, HeldLinesModel::State).data().toString(), QString());
            EXPECT_EQ(app->settings().nextCardNumber, 41) << "a failed job gives its numbers back";
            EXPECT_EQ(savedNumber(), 41);
            EXPECT_EQ(g_cups->printed().size(), filesBefore) << "nothing came out later either";
        }
        ASSERT_TRUE(c.after()) << g_cups->why().toStdString();
    }
}

TEST_F(PrintJobTest, LabelsGoOutOnTheirSheetsPaperAndCountOnlyWhenTheJobCompleted)
{
    PrintTarget target;
    target.labels = true;
    target.sheet = *labelSheetPreset(QStringLiteral("A4-21"));
    target.file = dir.filePath(QStringLiteral("never.pdf"));
    QString message;
    // A start past the sheet's last cell, or an own sheet whose labels overlap the page: nothing goes out.
    target.start = 22;
    EXPECT_FALSE(app->print(app->cardsFor({0}), target, &message));
    EXPECT_TRUE(message.contains(QStringLiteral("開始位置「22」"))) << message.toStdString();
    target.start = 1;
    target.sheet.rows = 8;
    target.sheet.top = 0;
    EXPECT_FALSE(app->print(app->cardsFor({0}), target, &message));
    EXPECT_TRUE(message.contains(QStringLiteral("用紙の高さ"))) << message.toStdString();
    EXPECT_FALSE(QFile::exists(target.file));
    EXPECT_EQ(savedNumber(), 41);
    EXPECT_EQ(printedPositions(), (std::vector<int>{-1, -1, -1}));

    if (!g_cups->ok()) {
        GTEST_SKIP() << g_cups->why().toStdString();
    }
    // A printer that names its papers takes A4 labels, and refuses a sheet of a paper it does not have.
    EXPECT_EQ(cupsprint::cardMedia(QStringLiteral("a4only"), nullptr, target.sheet.media()), CardMedia::Takes);
    target.printer = QStringLiteral("a4only");
    target.sheet.pageWidth = 300;
    target.sheet.pageHeight = 400;
    ASSERT_EQ(target.sheet.problem(), QString());
    EXPECT_FALSE(app->print(app->cardsFor({0}), target, &message));
    EXPECT_TRUE(message.contains(QStringLiteral("ラベル用紙 (300 x 400 mm)"))) << message.toStdString();
    EXPECT_EQ(savedNumber(), 41);

    struct Case
    {
        const char* printer;
        bool printed;
    } cases[] = {{"cards", true}, {"broken", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printer);
        SetUp();
        const int filesBefore = g_cups->printed().size();
        target.file.clear();
        target.printer = QString::fromLatin1(c.printer);
        target.sheet = *labelSheetPreset(QStringLiteral("A4-21"));
        target.start = 19;
        ASSERT_TRUE(app->print(app->cardsFor({0, 2}), target, &message)) << message.toStdString();
        EXPECT_EQ(printedPositions(), (std::vector<int>{-1, -1, -1}));
        ASSERT_TRUE(waitForJob());
        if (c.printed) {
            EXPECT_EQ(printedPositions(), (std::vector<int>{3, -1, 7}));
            EXPECT_EQ(savedNumber(), 43);
            EXPECT_EQ(loadCardSettings(settingsPath()).labelStart, 21) << "after the two labels in cells 19 and 20";
            const QStringList files = g_cups->printed();
            ASSERT_EQ(files.size(), filesBefore + 1);
            EXPECT_EQ(pageSize(g_cups->out() + QLatin1Char('/') + files.last()), QStringLiteral("595 x 842 pts"));
        } else {
            EXPECT_EQ(printedPositions(), (std::vector<int>{-1, -1, -1}));
            EXPECT_EQ(savedNumber(), 41) << "a failed job gives its numbers back";
            EXPECT_EQ(loadCardSettings(settingsPath()).labelStart, 1) << "the sheet is as it was";
        }
    }
}

TEST_F(PrintJobTest, LinesOnAPendingJobStayUntilItEnds)
{
    if (!g_cups->ok()) {
        GTEST_SKIP() << g_cups->why().toStdString();
    }
    PrintTarget target;
    target.printer = QStringLiteral("cards");
    QString message;
    ASSERT_TRUE(app->print(app->cardsFor({1}), target, &message)) << message.toStdString();
    // The log program's close drops the lines and its next transfer starts anew: neither may lose the job's lines.
    app->DeleteLog();
    app->DeletePrintedData();
    EXPECT_EQ(app->logCount(), 3);
    EXPECT_FALSE(app->print(app->cardsFor({0}), target, &message)) << "one job at a time";
    ASSERT_TRUE(waitForJob());
    EXPECT_EQ(printedPositions(), (std::vector<int>{-1, 5, -1}));
    app->DeletePrintedData();
    EXPECT_EQ(app->logCount(), 2);
}

TEST_F(PrintJobTest, NothingIsPrintedWhileTheNextNumberCannotBeKept)
{
    // A settings file that cannot be trusted, or cannot take the next number, prints nothing: a card printed then
    // would give the next card its number again.
    struct Case
    {
        const char* what;
        const char* content; // nullptr: the folder cannot be written
    } cases[] = {
        {"damaged number", "[Card]\nNextNumber=4x1\n"},
        {"number missing", "[Station]\nCall=JA1KEL\n"},
        {"number out of range", "[Card]\nNextNumber=99999999999\n"},
        {"unwritable", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir d;
        const QString ini = d.filePath(QStringLiteral("cfg/kelbo-cardprinter.ini"));
        QDir().mkpath(d.filePath(QStringLiteral("cfg")));
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.content ? c.content : "[Card]\nNextNumber=41\n");
        f.close();
        if (!c.content) {
            // A read-only file in a read-only folder (root writes anywhere: the file is made immutable instead).
            QFile::setPermissions(ini, QFileDevice::ReadOwner);
            QFile::setPermissions(d.filePath(QStringLiteral("cfg")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            if (::geteuid() == 0 && QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), ini}) != 0) {
                continue;
            }
        }
        CardoApplication a(ini);
        a.AddLogPos(QStringLiteral(R"(24.04.28,1208,JA1ZQX,59,7.045,SSB,,"","","",,,0)"), 0);
        EXPECT_EQ(a.settingsDamage().isEmpty(), c.content == nullptr);
        PrintTarget target;
        target.file = d.filePath(QStringLiteral("cards.pdf"));
        QString message;
        EXPECT_FALSE(a.print(a.cardsFor({0}), target, &message));
        EXPECT_FALSE(message.isEmpty());
        EXPECT_FALSE(QFile::exists(target.file));
        EXPECT_EQ(a.GetPrintedPos(0), -1);
        EXPECT_EQ(a.printStat(), 0);
        if (!c.content) {
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), ini});
            QFile::setPermissions(d.filePath(QStringLiteral("cfg")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
    }
}

TEST_F(PrintJobTest, AFileCountsOnceWrittenAndNumbersFollow)
{
    PrintTarget target;
    target.file = dir.filePath(QStringLiteral("a.pdf"));
    QString message;
    ASSERT_TRUE(app->print(app->cardsFor({2, 0}), target, &message)) << message.toStdString();
    EXPECT_EQ(printedPositions(), (std::vector<int>{3, -1, 7}));
    EXPECT_EQ(app->printStat(), 2);
    EXPECT_EQ(savedNumber(), 43);
    // A file that cannot be written prints nothing and gives its number back.
    target.file = dir.filePath(QStringLiteral("no/such/folder/b.pdf"));
    EXPECT_FALSE(app->print(app->cardsFor({1}), target, &message));
    EXPECT_EQ(app->GetPrintedPos(1), -1);
    EXPECT_EQ(savedNumber(), 43);
    target.file = dir.filePath(QStringLiteral("c.pdf"));
    ASSERT_TRUE(app->print(app->cardsFor({1}), target, &message));
    EXPECT_EQ(savedNumber(), 44);
    EXPECT_TRUE(QFile(target.file).size() > 0);
}

} // namespace
