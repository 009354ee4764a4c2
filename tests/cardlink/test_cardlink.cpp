// The transfer, the print-status poll, the send-mark update and the close step against a recording card program
// and an in-memory table: no bus, no widgets.
#include "MemoryTable.h"
#include "RecordingCardAutomation.h"
#include "cardlink/CardLink.h"
#include "cardlink/TransferWalk.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "logtable/LogTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

/** Readable QStrings in failure messages. */
void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

/** CP932 bytes of a UTF-8 literal: the table holds what the engines would give. */
std::string sj(const char* utf8)
{
    return cp932::fromUtf8(utf8);
}

/** Answers questions in order and records every step the window would show. */
class ScriptedUi : public CardLinkUi
{
public:
    std::vector<Answer> answers;
    QStringList events; // "YesNo:<text>", "Error:<text>", "Progress:<text>", "CloseProgress", "Wait", "EndWait", ...
    int waits = 0;
    bool progressOpen = false;
    std::function<void()> duringProgress;

    Answer YesNoBox(const QString& t) override { return ask("YesNo:" + t); }
    Answer YesNoCancelBox(const QString& t) override { return ask("YesNoCancel:" + t); }
    void ErrorBox(const QString& t) override { events << "Error:" + t; }
    void WarningBox(const QString& t) override { events << "Warning:" + t; }
    void ShowError(const QString& t) override { events << "ShowError:" + t; }
    void showProgress(const QString& t) override
    {
        events << "Progress:" + t;
        progressOpen = true;
        if (duringProgress) {
            duringProgress();
        }
    }
    void closeProgress() override
    {
        events << "CloseProgress";
        progressOpen = false;
    }
    void beginWait() override { ++waits; }
    void endWait() override { --waits; }
    void startPollTimer() override { events << "Timer"; }
    void progressStep(long done, long total) override { steps << QStringLiteral("%1/%2").arg(done).arg(total); }
    QStringList steps; // "done/total" of each progress step
    void marksWritten(const std::vector<SendMarkUndo::Mark>& marks) override
    {
        marked.clear();
        previous.clear();
        for (const auto& m : marks) {
            marked.push_back(m.position);
            previous.push_back(m.previous);
        }
    }
    std::vector<long> marked;
    std::vector<std::string> previous;

    QStringList with(const QString& prefix) const { return events.filter(QRegularExpression("^" + prefix)); }

private:
    Answer ask(const QString& e)
    {
        events << e;
        if (answers.empty()) {
            return Answer::Yes;
        }
        const Answer a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

/** The card line of a record converted by the test's definition (CALL, QTH, SEND). */
QString cardLine(const char* call, const char* qth, const char* send = "")
{
    return QStringLiteral("00.00.00,0900,%1,,,,,\"\",\"%2\",\"\",%3,,0")
        .arg(QString::fromUtf8(call), QString::fromUtf8(qth), QString::fromUtf8(send));
}

class CardLinkTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = touch("LOG.DBF");
        data = memoryTableData({"CALL", "QTH", "SEND"},
                               {{"JA1AAA", sj("東京"), ""},
                                {"", "no call", ""},
                                {"JA2BBB", sj("名古屋"), "F"},
                                {"JA3CCC", sj("大阪"), " "},
                                {"W1AW", "CT", ""},
                                {"DL1XYZ", "Berlin", ""}});
        table = openMemoryTable(data, path);
        link = std::make_unique<CardLink>([this]() -> std::unique_ptr<CardAutomation> {
            ++created;
            if (!canStart) {
                return nullptr;
            }
            auto c = std::make_unique<RecordingCardAutomation>();
            cardo = c.get();
            return c;
        });
    }

    /** Another program saves the table anew: a new file (another inode) renamed over the old one. */
    void replaceFile()
    {
        const std::string tmp = touch("LOG.NEW");
        ASSERT_EQ(std::rename(tmp.c_str(), path.c_str()), 0);
    }

    std::string touch(const char* name)
    {
        const QString p = dir.filePath(QString::fromLatin1(name));
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return p.toStdString();
    }

    CardLinkContext context() { return CardLinkContext{*table, defs, sendField, allSend, true, mark, printPhase, ui}; }
    void transfer()
    {
        auto ctx = context();
        link->TransferRecords(ctx);
    }
    void tick()
    {
        auto ctx = context();
        link->TimerTimer(ctx);
    }
    bool close()
    {
        auto ctx = context();
        return link->CloseSendMarks(ctx);
    }
    std::vector<std::string> sendColumn() const { return data->column(2); }

    QTemporaryDir dir;
    std::string path;
    std::shared_ptr<MemoryTableData> data;
    std::unique_ptr<LogTable> table;
    std::unique_ptr<CardLink> link;
    RecordingCardAutomation* cardo = nullptr;
    ConvDefTable defs = [] {
        ConvDefTable d;
        d.fill("NULL");
        d[0] = "CALL";
        d[1] = "QTH";
        d[2] = "SEND";
        return d;
    }();
    int sendField = 2;
    bool allSend = false;
    std::string mark = "F";
    int printPhase = 0;
    ScriptedUi ui;
    int created = 0;
    bool canStart = true;
};

TEST_F(CardLinkTest, TransferPreparesTheCardProgramAndHandsOverPassedRecordsWithTheirPositions)
{
    transfer();
    const QStringList expected = {"call ShowWindow(5)",
                                  "put Modified=0",
                                  "call NewDoc",
                                  "put DisableExit=3",
                                  "put EnableLogFile=0",
                                  "call DeleteLog",
                                  "call AddLogPos(" + cardLine("JA1AAA", "東京") + ",0)",
                                  "call AddLogPos(" + cardLine("JA3CCC", "大阪", " ") + ",3)",
                                  "call AddLogPos(" + cardLine("W1AW", "CT") + ",4)",
                                  "call AddLogPos(" + cardLine("DL1XYZ", "Berlin") + ",5)",
                                  "call SetPrintMax",
                                  "call Foreground",
                                  "call DoLogList"};
    EXPECT_EQ(cardo->log, expected);
    EXPECT_EQ(ui.events, (QStringList{"Progress:" + cardtext::kTransferring, "CloseProgress", "Timer"}));
    EXPECT_EQ(ui.waits, 0);
    EXPECT_TRUE(table->GridAttached());
    EXPECT_EQ(printPhase, 0);
    EXPECT_TRUE(link->transferred());
    EXPECT_TRUE(data->writtenRows.empty());
}

TEST_F(CardLinkTest, AllSendPassesMarkedRecordsButNeverOneWithoutCall)
{
    allSend = true;
    transfer();
    EXPECT_EQ(cardo->lines.size(), 5u);
    for (const auto& l : cardo->lines) {
        EXPECT_NE(l.position, 1);
    }
}

TEST_F(CardLinkTest, EmptyTableStillCompletesTheTransfer)
{
    data->rows.clear();
    transfer();
    EXPECT_EQ(cardo->names(),
              (QStringList{"ShowWindow", "Modified", "NewDoc", "DisableExit", "EnableLogFile", "DeleteLog",
                           "SetPrintMax", "Foreground", "DoLogList"}));
    EXPECT_TRUE(ui.events.contains("Timer"));
}

TEST_F(CardLinkTest, SendEntryChecksAskBeforeAnything)
{
    struct Case
    {
        int sendField;
        Answer answer;
        QString question;
        bool transfers;
    } cases[] = {
        {-1, Answer::No, cardtext::kNoSendEntry, false},
        {-1, Answer::Yes, cardtext::kNoSendEntry, true},
        {3, Answer::No, cardtext::kBadSendEntry, false},
        {7, Answer::Yes, cardtext::kBadSendEntry, true},
    };
    for (const Case& c : cases) {
        SetUp();
        created = 0;
        sendField = c.sendField;
        ui.answers = {c.answer};
        transfer();
        SCOPED_TRACE(c.sendField);
        EXPECT_EQ(ui.with("YesNo"), QStringList{"YesNo:" + c.question});
        EXPECT_EQ(created, c.transfers ? 1 : 0);
        EXPECT_EQ(link->transferred(), c.transfers);
        ui = ScriptedUi();
    }
}

TEST_F(CardLinkTest, ClosedTableOrUnstartableCardProgramDoNothingMore)
{
    table->CloseTable();
    transfer();
    EXPECT_EQ(created, 0);
    EXPECT_TRUE(ui.events.isEmpty());

    table = openMemoryTable(data, path);
    canStart = false;
    transfer();
    EXPECT_EQ(ui.events, QStringList{"Error:" + cardtext::kCannotStart});
    EXPECT_FALSE(link->transferred());
    EXPECT_EQ(link->automation(), nullptr);
}

TEST_F(CardLinkTest, FailureMidTransferLeavesASaneWindowAndNoPoll)
{
    canStart = true;
    link = std::make_unique<CardLink>([this]() -> std::unique_ptr<CardAutomation> {
        auto c = std::make_unique<RecordingCardAutomation>();
        c->failOn = "AddLogPos";
        c->failAfter = 2;
        cardo = c.get();
        return c;
    });
    try {
        transfer();
        FAIL() << "no error";
    } catch (const KelboError& e) {
        EXPECT_STREQ(e.what(), cardo->failText.toStdString().c_str());
    }
    EXPECT_FALSE(ui.progressOpen);
    EXPECT_EQ(ui.waits, 0);
    EXPECT_TRUE(table->GridAttached());
    EXPECT_FALSE(ui.events.contains("Timer"));
    EXPECT_FALSE(cardo->names().contains("SetPrintMax"));
    EXPECT_FALSE(link->polling());
}

TEST_F(CardLinkTest, PollAsksOnceThePrintStatusReadsTwoAndMarksExactlyThePrintedRecords)
{
    transfer();
    tick();
    EXPECT_TRUE(ui.with("YesNo").isEmpty()) << "status 0 asks nothing";

    // Lines 0 (JA1AAA, pos 0), 1 (JA3CCC, pos 3, SEND " ") and 3 (DL1XYZ, pos 5); W1AW was not printed.
    cardo->print({0, 1, 3});
    cardo->log.clear();
    tick();
    EXPECT_EQ(ui.with("YesNo"), QStringList{"YesNo:" + cardtext::kAskUpdate});
    EXPECT_EQ(sendColumn(), (std::vector<std::string>{"F", "", "F", "F", "", "F"}));
    EXPECT_EQ(cardo->names(),
              (QStringList{"PrintStat", "GetLogCount", "GetPrintedPos", "GetPrintedPos", "GetPrintedPos",
                           "GetPrintedPos", "DeletePrintedData", "PrintStat"}));
    EXPECT_EQ(cardo->log.last(), "put PrintStat=0");
    EXPECT_EQ(printPhase, 0);
    EXPECT_EQ(ui.waits, 0);
    EXPECT_TRUE(table->GridAttached());
    EXPECT_TRUE(ui.with("Warning").isEmpty());
    EXPECT_EQ(cardo->lines.size(), 1u) << "printed lines dropped";
}

TEST_F(CardLinkTest, ProgressAndTheMarksWrittenAreReported)
{
    transfer();
    // A step for each record handed over, counted by its position among all six records.
    EXPECT_EQ(ui.steps, (QStringList{"1/6", "4/6", "5/6", "6/6"}));
    ui.steps.clear();
    cardo->print({0, 1, 3});
    tick();
    EXPECT_EQ(ui.steps, (QStringList{"1/3", "2/3", "3/3"})) << "counted over the printed lines only";
    EXPECT_EQ(ui.marked, (std::vector<long>{0, 3, 5}));
    EXPECT_EQ(ui.previous, (std::vector<std::string>{"", " ", ""})) << "what each SEND field held before";
}

TEST_F(CardLinkTest, PrintedPositionsInAnyOrderAreReachedByRelativeMoves)
{
    allSend = true;
    mark = sj("済");
    transfer();
    // The card program answers positions 5, 0, 3 for its lines 0..2 and -1 for the rest.
    const std::vector<int> order = {5, 0, 3, -1, -1};
    cardo->printedPos = [&order](int i) { return order.at(static_cast<std::size_t>(i)); };
    cardo->printStat = 2;
    tick();
    EXPECT_EQ(data->writtenRows, (std::vector<long>{5, 0, 3}));
    EXPECT_EQ(table->RecNo(), 0) << "the table is back at its first record";
    EXPECT_EQ(sendColumn(), (std::vector<std::string>{sj("済"), "", "F", sj("済"), "", sj("済")}));
}

TEST_F(CardLinkTest, NoKeepsTheUpdatePendingAndSilencesThePoll)
{
    transfer();
    cardo->print({0});
    ui.answers = {Answer::No};
    tick();
    EXPECT_EQ(printPhase, 2);
    cardo->log.clear();
    tick();
    EXPECT_TRUE(cardo->log.isEmpty()) << "no poll while the update is pending";
    EXPECT_TRUE(data->writtenRows.empty());

    // Closing asks again with Cancel; Cancel keeps the window, then Yes updates and drops the lines.
    ui.answers = {Answer::Cancel};
    EXPECT_FALSE(close());
    EXPECT_TRUE(cardo->log.isEmpty());
    ui.answers = {Answer::Yes};
    EXPECT_TRUE(close());
    EXPECT_EQ(ui.with("YesNoCancel").size(), 2);
    EXPECT_EQ(data->rows[0][2], "F");
    EXPECT_EQ(cardo->log.last(), "call DeleteLog");
}

TEST_F(CardLinkTest, CloseRows)
{
    // No transfer in this run: nothing is sent.
    EXPECT_TRUE(close());
    EXPECT_EQ(cardo, nullptr);

    transfer();
    cardo->log.clear();
    EXPECT_TRUE(close());
    EXPECT_EQ(cardo->log, (QStringList{"get PrintStat", "call DeleteLog"}));

    // Printed after the last tick: the close reads the status once more and asks before the lines are dropped.
    transfer();
    cardo->print({1});
    cardo->log.clear();
    ui.answers = {Answer::Cancel};
    EXPECT_FALSE(close());
    EXPECT_EQ(ui.with("YesNoCancel"), QStringList{"YesNoCancel:" + cardtext::kAskUpdate});
    EXPECT_FALSE(cardo->names().contains("DeleteLog"));

    // A pending update answered No: no mark, the lines are dropped all the same.
    printPhase = 2;
    ui.answers = {Answer::No};
    cardo->log.clear();
    EXPECT_TRUE(close());
    EXPECT_EQ(cardo->log, QStringList{"call DeleteLog"});
    EXPECT_TRUE(data->writtenRows.empty());

    // The table closed: no question, no DeleteLog.
    table->CloseTable();
    cardo->log.clear();
    EXPECT_TRUE(close());
    EXPECT_TRUE(cardo->log.isEmpty());
}

TEST_F(CardLinkTest, FailingPollIsShownOnceAndPollingGoesOnSoAPrintIsStillAskedAbout)
{
    transfer();
    cardo->failOn = "PrintStat";
    EXPECT_THROW(tick(), KelboError);
    cardo->log.clear();
    EXPECT_NO_THROW(tick()) << "a failure in a row is not shown again";
    EXPECT_EQ(cardo->log, QStringList{"get PrintStat"});
    EXPECT_TRUE(link->polling());

    // The card program answers again and has printed: the question comes, the mark is written.
    cardo->failOn.clear();
    cardo->print({0});
    tick();
    EXPECT_EQ(ui.with("YesNo:"), QStringList{"YesNo:" + cardtext::kAskUpdate});
    EXPECT_EQ(data->rows[0][2], "F");

    // Failing again after a good read is shown again.
    cardo->failOn = "PrintStat";
    EXPECT_THROW(tick(), KelboError);
}

TEST_F(CardLinkTest, FailedStatusReadAtCloseKeepsTheWindowOpenUntilTheCardProgramAnswersOrIsGone)
{
    // The final status read fails: shown, the window stays open, and nothing the card program holds is dropped.
    transfer();
    cardo->failOn = "PrintStat";
    cardo->log.clear();
    EXPECT_FALSE(close());
    EXPECT_EQ(cardo->log, QStringList{"get PrintStat"});
    EXPECT_EQ(ui.with("ShowError"), QStringList{"ShowError:" + cardtext::kCloseStatusFailed.arg(cardo->failText)});
    EXPECT_EQ(ui.waits, 0);

    // The next close asks again; a card now answering with a print gets its question.
    cardo->failOn.clear();
    cardo->print({0});
    cardo->log.clear();
    ui.events.clear();
    EXPECT_TRUE(close());
    EXPECT_EQ(ui.with("YesNoCancel"), QStringList{"YesNoCancel:" + cardtext::kAskUpdate});
    EXPECT_EQ(data->rows[0][2], "F");
    EXPECT_TRUE(cardo->names().contains("DeleteLog"));

    // A failing DeleteLog is shown and the window closes.
    transfer();
    cardo->failOn = "DeleteLog";
    ui.events.clear();
    EXPECT_TRUE(close());
    EXPECT_EQ(ui.with("ShowError"), QStringList{"ShowError:" + cardo->failText});
    EXPECT_EQ(ui.waits, 0);
}

TEST_F(CardLinkTest, CardProgramGoneAtCloseLetsTheWindowCloseWithAWarning)
{
    struct Case
    {
        const char* what;
        bool goneBefore; // known gone before the close, or found gone by the failing status read
        int phase;
        QString warning;
    } cases[] = {
        {"gone during the status read", false, 0, cardtext::kGoneUnasked},
        {"gone before the close", true, 0, cardtext::kGoneUnasked},
        {"gone with an update pending", true, 2, cardtext::kGoneUnmarked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        transfer();
        if (c.goneBefore) {
            cardo->isGone = true;
        } else {
            cardo->failOn = "PrintStat";
            cardo->onFail = [this] { cardo->isGone = true; };
        }
        printPhase = c.phase;
        cardo->log.clear();
        ui.events.clear();
        EXPECT_TRUE(close());
        EXPECT_EQ(cardo->log, c.goneBefore ? QStringList() : QStringList{"get PrintStat"});
        EXPECT_EQ(ui.events, QStringList{"Warning:" + c.warning});
        EXPECT_TRUE(data->writtenRows.empty());
        ui = ScriptedUi();
    }

    // The next transfer polls again.
    transfer();
    cardo->log.clear();
    tick();
    EXPECT_EQ(cardo->log, QStringList{"get PrintStat"});
}

TEST_F(CardLinkTest, UpdateThatFailsAtCloseKeepsTheWindowOpenAndAsksAgain)
{
    struct Case
    {
        const char* what;
        std::function<void()> breakIt;
        std::function<void()> mendIt;
    } cases[] = {
        {"GetLogCount fails", [this] { cardo->failOn = "GetLogCount"; }, [this] { cardo->failOn.clear(); }},
        {"the table refuses the write", [this] { data->beforeWrite = [](long) { throw KelboError("read-only"); }; },
         [this] { data->beforeWrite = {}; }},
        {"the mark does not fit", [this] { mark = "FF"; }, [this] { mark = "F"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        data->widths = {6, 10, 1};
        transfer();
        cardo->print({0});
        ui.answers = {Answer::No};
        tick();
        c.breakIt();
        cardo->log.clear();
        EXPECT_FALSE(close());
        EXPECT_EQ(printPhase, 2);
        EXPECT_FALSE(cardo->names().contains("DeletePrintedData"));
        EXPECT_FALSE(cardo->names().contains("DeleteLog"));
        EXPECT_EQ(data->rows[0][2], "");

        c.mendIt();
        EXPECT_TRUE(close());
        EXPECT_EQ(ui.with("YesNoCancel").size(), 2);
        EXPECT_EQ(data->rows[0][2], "F");
        EXPECT_EQ(cardo->log.last(), "call DeleteLog");
        ui = ScriptedUi();
    }
}

TEST_F(CardLinkTest, MarkWiderThanTheSendFieldIsAskedAboutBeforeTheTransferAndNeverWritten)
{
    data->widths = {6, 10, 1};
    mark = sj("済");
    ui.answers = {Answer::No};
    transfer();
    const QString tooLong = cardtext::kMarkTooLong.arg(QStringLiteral("済")).arg(1);
    EXPECT_EQ(ui.events, QStringList{"YesNo:" + tooLong + cardtext::kForce});
    EXPECT_EQ(created, 0);

    ui = ScriptedUi();
    transfer(); // Yes: the user may still change the mark before the update
    cardo->print({0});
    tick();
    EXPECT_EQ(ui.with("Warning"), QStringList{"Warning:" + tooLong + cardtext::kUpdateFailed});
    EXPECT_TRUE(data->writtenRows.empty());
    EXPECT_EQ(printPhase, 2);

    mark = "F";
    EXPECT_TRUE(close());
    EXPECT_EQ(data->rows[0][2], "F");
}

TEST_F(CardLinkTest, TickDeliveredWhileTheProgressBoxPaintsDoesNothing)
{
    transfer();
    cardo->printStat = 2;
    ui.duringProgress = [this] { tick(); };
    transfer();
    EXPECT_TRUE(ui.with("YesNo").isEmpty());
    EXPECT_EQ(printPhase, 0);
}

TEST_F(CardLinkTest, SendEntryBeyondTheFieldsWarnsAndWritesNothing)
{
    transfer();
    cardo->print({0});
    sendField = 3;
    cardo->log.clear();
    tick();
    EXPECT_EQ(ui.with("Warning"), QStringList{"Warning:" + cardtext::kBadSendUpdate});
    EXPECT_EQ(cardo->log, QStringList{"get PrintStat"});
    EXPECT_EQ(printPhase, 2);
    EXPECT_TRUE(data->writtenRows.empty());
}

/** The warning that lists printed records left unmarked: @p notFound not found unchanged, then @p refused. */
QString unmarkedWarning(const QStringList& notFound, const QStringList& refused = {})
{
    QString text;
    if (!notFound.isEmpty()) {
        text = cardtext::kLeftUnmarked.arg(notFound.size());
    }
    if (!refused.isEmpty()) {
        text += (text.isEmpty() ? "" : "\r\n") + cardtext::kRefusedUnmarked.arg(refused.size());
    }
    return "Warning:" + text + cardtext::kUnmarkedList.arg((notFound + refused).join("\r\n"));
}

// Another program saved the log between the transfer and the update. Each printed record gets its mark where it is
// found unchanged: at its position, or as the one record anywhere with its fingerprint; the rest are listed.
TEST_F(CardLinkTest, MarksFollowThePrintedRecordsThroughAnotherProgramsSave)
{
    struct Case
    {
        const char* what;
        std::function<void(CardLinkTest&)> save;
        std::vector<std::string> send; // the SEND column afterwards
        QStringList listed;
    } cases[] = {
        {"same bytes, new file", [](CardLinkTest& t) { t.replaceFile(); }, {"F", "", "F", "F", "F", ""}, {}},
        {"a contact inserted at the top, one edited",
         [](CardLinkTest& t) {
             t.data->rows.insert(t.data->rows.begin(), {"JA9NEW", sj("金沢"), ""});
             t.data->rows[5][1] = "Newington";
             t.replaceFile();
         },
         {"", "F", "", "F", "F", "", ""},
         {"W1AW (5)"}},
        {"a contact removed before them",
         [](CardLinkTest& t) { t.data->rows.erase(t.data->rows.begin() + 1); },
         {"F", "F", "F", "F", ""},
         {}},
        {"a printed contact now found thrice",
         [](CardLinkTest& t) {
             t.data->rows.insert(t.data->rows.begin(), {"W1AW", "CT", ""});
             t.data->rows.push_back({"W1AW", "CT", ""});
         },
         {"", "F", "", "F", "F", "", "", ""},
         {"W1AW (5)"}},
        {"a printed contact removed",
         [](CardLinkTest& t) { t.data->rows.erase(t.data->rows.begin()); },
         {"", "F", "F", "F", ""},
         {"JA1AAA (1)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        transfer();
        cardo->print({0, 1, 2}); // JA1AAA, JA3CCC, W1AW at positions 0, 3, 4
        c.save(*this);
        tick();
        EXPECT_EQ(sendColumn(), c.send);
        EXPECT_EQ(ui.with("Warning"), c.listed.isEmpty() ? QStringList() : QStringList{unmarkedWarning(c.listed)});
        EXPECT_EQ(printPhase, 0);
        ui = ScriptedUi();
    }
}

TEST_F(CardLinkTest, ShrunkTableIsLeftUnmarked)
{
    transfer();
    cardo->print({3}); // position 5, the last record
    data->rows.pop_back();
    tick();
    EXPECT_TRUE(data->writtenRows.empty());
    EXPECT_EQ(ui.with("Warning"), QStringList{unmarkedWarning({"DL1XYZ (6)"})});
}

// A printed record the table refuses for what it holds is skipped and listed; the others get their marks. Only when
// every printed record is refused does the update fail and stay pending.
TEST_F(CardLinkTest, RefusedRecordIsSkippedAndListedWhileTheOthersAreMarked)
{
    transfer();
    cardo->print({0, 1, 2, 3});
    data->beforeWrite = [](long row) {
        if (row == 3) {
            throw RecordRefusedError("ambiguous");
        }
    };
    tick();
    EXPECT_EQ(sendColumn(), (std::vector<std::string>{"F", "", "F", " ", "F", "F"}));
    EXPECT_EQ(ui.with("Warning"), QStringList{unmarkedWarning({}, {"JA3CCC (4): ambiguous"})});
    EXPECT_EQ(ui.marked, (std::vector<long>{0, 4, 5}));
    EXPECT_EQ(printPhase, 0);
    EXPECT_TRUE(cardo->names().contains("DeletePrintedData"));

    SetUp();
    transfer();
    cardo->print({1});
    data->beforeWrite = [](long) { throw RecordRefusedError("ambiguous"); };
    EXPECT_THROW(tick(), RecordRefusedError);
    EXPECT_EQ(printPhase, 2);
    EXPECT_FALSE(cardo->names().contains("DeletePrintedData"));
}

// What the card program answers is checked before anything is written or dropped.
TEST_F(CardLinkTest, AnswersOutsideWhatWasHandedOverAreErrorsOfTheCardProgram)
{
    struct Case
    {
        const char* what;
        int count; // -1: the model's own
        std::vector<int> positions;
        QString error;
    } cases[] = {
        {"negative count", -5, {}, cardtext::kBadCount.arg(-5).arg(4)},
        {"count beyond the lines", 2147483647, {}, cardtext::kBadCount.arg(2147483647).arg(4)},
        {"position never handed over", -1, {0, 1, -1, -1}, cardtext::kNotHandedOver.arg(1)},
        {"position beyond the table", -1, {-1, 6, -1, -1}, cardtext::kNotHandedOver.arg(6)},
        {"position below -1", -1, {-2, -1, -1, -1}, cardtext::kNotHandedOver.arg(-2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        transfer();
        cardo->printStat = 2;
        if (c.count != -1) {
            cardo->logCount = c.count;
        }
        const std::vector<int> positions = c.positions;
        if (!positions.empty()) {
            cardo->printedPos = [positions](int i) { return positions.at(static_cast<std::size_t>(i)); };
        }
        cardo->log.clear();
        try {
            tick();
            ADD_FAILURE() << "no error";
        } catch (const KelboError& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()), c.error);
        }
        EXPECT_TRUE(data->writtenRows.empty());
        EXPECT_FALSE(cardo->names().contains("DeletePrintedData"));
        EXPECT_LE(cardo->log.size(), 6) << "no read beyond the lines handed over";
        EXPECT_EQ(printPhase, 2);
        EXPECT_TRUE(ui.with("Warning").isEmpty());
        ui = ScriptedUi();
    }
}

TEST_F(CardLinkTest, AnotherTableOpenAtUpdateTimeIsLeftAloneAndTheUpdateStaysPending)
{
    transfer();
    cardo->print({0});
    table = openMemoryTable(data, touch("OTHER.DBF"));
    cardo->log.clear();
    tick();
    EXPECT_EQ(ui.with("Warning"), QStringList{"Warning:" + cardtext::kOtherTable});
    EXPECT_TRUE(data->writtenRows.empty());
    EXPECT_EQ(printPhase, 2);
    EXPECT_EQ(cardo->log, QStringList{"get PrintStat"});

    // Back on the table that was handed over, the closing question updates it.
    table = openMemoryTable(data, path);
    EXPECT_TRUE(close());
    EXPECT_EQ(data->rows[0][2], "F");
}

TEST_F(CardLinkTest, TableRewrittenByOurOwnFailedUpdateIsStillTheTableHandedOver)
{
    transfer();
    cardo->print({0, 1, 2});
    // Each write replaces the file (a new inode, as a text table is rewritten and renamed); the second fails.
    int writes = 0;
    data->beforeWrite = [this, &writes](long) {
        const std::string tmp = touch("LOG.TMP");
        ASSERT_EQ(std::rename(tmp.c_str(), path.c_str()), 0);
        if (++writes == 2) {
            throw KelboError("disk full");
        }
    };
    EXPECT_THROW(tick(), KelboError);
    EXPECT_EQ(printPhase, 2);
    EXPECT_EQ(data->writtenRows, std::vector<long>{0});

    data->beforeWrite = {};
    EXPECT_TRUE(close());
    EXPECT_TRUE(ui.with("Warning").isEmpty()) << ui.with("Warning").join(' ').toStdString();
    EXPECT_EQ(sendColumn(), (std::vector<std::string>{"F", "", "F", "F", "F", ""}));
}

// The marks are written in one batch, which has ended (synced) before the card program drops its printed data, and
// which ends all the same when a mark is refused.
TEST_F(CardLinkTest, MarksAreWrittenInOneBatchEndedBeforeThePrintedDataIsDropped)
{
    transfer();
    cardo->print({0, 1, 3});
    std::vector<bool> droppedAtEnd;
    data->onBatchEnd = [this, &droppedAtEnd] { droppedAtEnd.push_back(cardo->names().contains("DeletePrintedData")); };
    data->beforeWrite = [this](long) {
        if (data->writtenRows.size() == 1) {
            throw KelboError("disk full");
        }
    };
    EXPECT_THROW(tick(), KelboError);
    EXPECT_EQ(droppedAtEnd, std::vector<bool>{false});
    EXPECT_EQ(data->inBatch, false);
    EXPECT_EQ(data->writtenRows, std::vector<long>{0});

    data->beforeWrite = {};
    EXPECT_TRUE(close()); // the update is still pending after the failure
    EXPECT_EQ(droppedAtEnd, (std::vector<bool>{false, false}));
    EXPECT_EQ(data->inBatch, false);
    EXPECT_TRUE(cardo->names().contains("DeletePrintedData"));
    EXPECT_EQ(sendColumn(), (std::vector<std::string>{"F", "", "F", "F", "", "F"}));
}

TEST_F(CardLinkTest, EmptySendMarkClearsThePrintedRecords)
{
    mark = "";
    data->rows[3][2] = "  x";
    transfer();
    cardo->print({1});
    tick();
    EXPECT_EQ(data->rows[3][2], "");
    EXPECT_EQ(data->writtenRows, std::vector<long>{3});
}

TEST(RecordFingerprint, DependsOnEveryFieldButTheSendFieldAndOnTheirBoundaries)
{
    const auto a = openMemoryTable(
        memoryTableData({"A", "B", "SEND"}, {{"ab", "c", ""}, {"a", "bc", ""}, {"ab", "c", "F"}, {"ab", "d", ""}}));
    std::vector<std::uint64_t> prints;
    std::vector<std::uint64_t> withoutSend;
    std::vector<std::string> texts;
    for (int i = 0; i < 4; ++i, a->MoveNext()) {
        a->FieldTexts(texts);
        prints.push_back(RecordFingerprint(texts));
        withoutSend.push_back(RecordFingerprint(texts, 2));
    }
    EXPECT_NE(prints[0], prints[1]) << "bytes moved between fields";
    EXPECT_NE(prints[0], prints[2]);
    EXPECT_EQ(withoutSend[0], withoutSend[2]) << "the mark leaves the fingerprint alone";
    EXPECT_NE(withoutSend[0], withoutSend[3]);
}

} // namespace
