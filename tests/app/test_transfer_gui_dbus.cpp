// The whole round in the main window on a private bus with the card program: transfer the sample log,
// print some lines, answer the question, and check the table on disk.
#include "../cardlink/CardProgramBus.h"
#include "FakeCard.h"
#include "ScriptedDialogs.h"
#include "app/TInfoBoxDlg.h"
#include "app/TMainWnd.h"
#include "cardlink/CardLink.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "convdef/Guess.h"
#include "logtable/LogTable.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

constexpr int kSendField = 11; // FIELD12=SEND in the sample's settings

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

using Cells = std::vector<std::vector<std::string>>;

/** Every field text of every record, read through a table object of its own. */
Cells readTable(const QString& dir, const QString& name)
{
    auto t = createLogTable();
    t->OpenTable(dir.toStdString(), name.toStdString());
    Cells out;
    for (t->MoveFirst(); !t->AtEnd(); t->MoveNext()) {
        std::vector<std::string> row;
        for (int f = 0; f < t->FieldCount(); ++f) {
            row.push_back(t->FieldText(f));
        }
        out.push_back(row);
    }
    return out;
}

int property(const QString& name)
{
    QDBusMessage m
        = QDBusMessage::createMethodCall(QStringLiteral("CARDO.Application"), QStringLiteral("/CARDO/Application"),
                                         QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    m << QStringLiteral("CARDO.Application") << name;
    const QDBusMessage r = QDBusConnection::sessionBus().call(m, QDBus::Block, 10000);
    return r.arguments().value(0).value<QDBusVariant>().variant().toInt();
}

std::vector<long> printedPositions()
{
    std::vector<long> out;
    const int count = property(QStringLiteral("GetLogCount"));
    for (int i = 0; i < count; ++i) {
        const int p = cardbus::call(QStringLiteral("GetPrintedPos"), {i}).arguments().value(0).toInt();
        if (p >= 0) {
            out.push_back(p);
        }
    }
    return out;
}

/** True when @p after is @p before with exactly @p count bytes 'F' inserted and nothing else changed. */
bool onlyMarksInserted(const QByteArray& before, const QByteArray& after, int count)
{
    if (after.size() != before.size() + count) {
        return false;
    }
    qsizetype i = 0;
    for (qsizetype j = 0; j < after.size(); ++j) {
        if (i < before.size() && after[j] == before[i]) {
            ++i;
        } else if (after[j] != 'F') {
            return false;
        }
    }
    return i == before.size();
}

/** True when @p after differs from @p before in exactly @p count bytes, each now 'F'. */
bool onlyMarksWritten(const QByteArray& before, const QByteArray& after, int count)
{
    if (after.size() != before.size()) {
        return false;
    }
    int changed = 0;
    for (qsizetype j = 0; j < after.size(); ++j) {
        if (after[j] != before[j]) {
            if (after[j] != 'F') {
                return false;
            }
            ++changed;
        }
    }
    return changed == count;
}

class TransferRoundTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        cardbus::pdfFolder();
        m_oldCwd = QDir::currentPath();
    }
    void TearDown() override
    {
        window.reset();
        QDir::setCurrent(m_oldCwd);
    }

    /** A folder with the sample log and settings naming @p table, and a main window started in it. @p prepare
     * may add files to the folder (its path ends in '/') before the window starts. */
    void start(const QString& table, const std::function<void(const QString&)>& prepare = {})
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_dir->isValid());
        dir = m_dir->path() + QLatin1Char('/');
        for (const char* f : {"LOG.DB", "LOG.DBF", "LOG.TXT", "LOG.SCH", "LOG.ADI"}) {
            ASSERT_TRUE(QFile::copy(QStringLiteral(KELBO_SAMPLE_DIR "/") + f, dir + f));
            QFile::setPermissions(dir + f, QFile::ReadOwner | QFile::WriteOwner);
        }
        QByteArray ini = readFile(QStringLiteral(KELBO_SAMPLE_DIR "/KELBO.ini.in"));
        ini.replace("@LOGDATA@", dir.toUtf8());
        ini.replace("Name=LOG.DB\r\n", "Name=" + table.toUtf8() + "\r\n");
        QFile out(dir + QStringLiteral("KELBO.ini"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(ini);
        out.close();
        if (prepare) {
            prepare(dir);
        }
        QDir::setCurrent(dir);
        name = table;
        window = std::make_unique<TMainWnd>(QStringList{QStringLiteral("kelbo")});
        ASSERT_EQ(window->EditLog->text(), table);
        ASSERT_EQ(window->SendFieldIndex, kSendField);
        window->ConBtnClick();
        ASSERT_TRUE(window->table().IsOpen()) << dialogs.texts("ShowError").join(' ').toStdString();
    }
    QString path() const { return dir + name; }

    /** Nothing of a transfer is left on screen: no progress box, no hourglass, the grid follows the table. */
    void expectSaneWindow()
    {
        EXPECT_TRUE(window->findChildren<TInfoBoxDlg*>().isEmpty());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(window->table().GridAttached());
        EXPECT_TRUE(window->CARDOBtn->isEnabled());
    }

    /** A tick of the poll timer as its handler runs it. */
    void tickAsTheTimerDoes()
    {
        guarded(window.get(), [this] { window->TimerTimer(); });
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<TMainWnd> window;
    QString dir;
    QString name;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCwd;
};

TEST_F(TransferRoundTest, PrintedRecordsGetTheMarkInEveryTableFormatAndNoOtherByteChanges)
{
    for (const QString& table : {QStringLiteral("LOG.DB"), QStringLiteral("LOG.DBF"), QStringLiteral("LOG.TXT")}) {
        SCOPED_TRACE(table.toStdString());
        start(table);
        const Cells cellsBefore = readTable(dir, name);
        const QByteArray before = readFile(path());

        window->CARDOBtnClick();
        ASSERT_TRUE(dialogs.asked.empty()) << dialogs.asked.front().text.toStdString();
        EXPECT_TRUE(window->Timer->isActive());
        expectSaneWindow();
        const int held = property(QStringLiteral("GetLogCount"));
        ASSERT_GE(held, 4);
        long unsent = 0;
        long unsentBefore = 0;
        for (const auto& row : cellsBefore) {
            unsent += !row[2].empty() && (row[kSendField].empty() || row[kSendField][0] == ' ');
            unsentBefore += row[kSendField].empty() || row[kSendField][0] == ' ';
        }
        EXPECT_EQ(held, unsent) << "every unsent contact with a call sign is handed over";

        // (Line 2 of the sample, K6LTE, is LoTW only: the card program gives it no card.)
        ASSERT_FALSE(cardbus::printLines({0, 1, held - 1}).isEmpty());
        const std::vector<long> printed = printedPositions();
        ASSERT_EQ(printed.size(), 3u);

        dialogs.answer(Answer::Yes);
        window->TimerTimer();
        EXPECT_EQ(dialogs.texts("YesNoBox"), QStringList{cardtext::kAskUpdate});
        EXPECT_TRUE(dialogs.texts("ShowError").isEmpty()) << dialogs.texts("ShowError").join(' ').toStdString();
        EXPECT_TRUE(dialogs.texts("WarningBox").isEmpty());
        EXPECT_EQ(window->PrintPhase, 0);
        EXPECT_EQ(property(QStringLiteral("GetLogCount")), held - 3) << "printed lines dropped";
        EXPECT_EQ(property(QStringLiteral("PrintStat")), 0);
        expectSaneWindow();

        // The status line tells what was done and what is left; the marked rows are subdued in the grid.
        EXPECT_EQ(window->StatusBar->currentMessage(), QStringLiteral("3件の送信マークを書きました"));
        EXPECT_EQ(window->StatusCounts->text(),
                  QStringLiteral("全%1件 未送信%2件 今回マーク3件").arg(cellsBefore.size()).arg(unsentBefore - 3));
        const QAbstractItemModel* grid = window->DBGrid->model();
        for (long row = 0; row < static_cast<long>(cellsBefore.size()); ++row) {
            const bool marked = std::find(printed.begin(), printed.end(), row) != printed.end()
                || !(cellsBefore[static_cast<std::size_t>(row)][kSendField].empty()
                     || cellsBefore[static_cast<std::size_t>(row)][kSendField][0] == ' ');
            EXPECT_EQ(grid->index(static_cast<int>(row), 0).data(Qt::ForegroundRole).isValid(), marked) << row;
        }

        window.reset(); // closes the table the way the program ends
        Cells expected = cellsBefore;
        for (long p : printed) {
            expected[static_cast<std::size_t>(p)][kSendField] = "F";
        }
        EXPECT_EQ(readTable(dir, name), expected);
        const QByteArray after = readFile(path());
        if (table == QStringLiteral("LOG.TXT")) {
            EXPECT_TRUE(onlyMarksInserted(before, after, 3));
        } else {
            EXPECT_TRUE(onlyMarksWritten(before, after, 3));
        }
        dialogs.asked.clear();
    }
}

/** The UTC day of now as ADIF writes it. */
std::string adifToday()
{
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd")).toStdString();
}

/** Record @p index of an ADIF file as a log program wrote it: its bytes up to and including its <EOR>. */
std::pair<qsizetype, qsizetype> adifRecord(const QByteArray& file, int index)
{
    qsizetype begin = file.toUpper().indexOf("<EOH>") + 5;
    for (int i = 0;; ++i) {
        const qsizetype end = file.toUpper().indexOf("<EOR>", begin) + 5;
        if (i == index) {
            return {begin, end};
        }
        begin = end;
    }
}

// An ADIF log in the marks of its own format: QSL_SENT Y and the day in QSL_SDATE, inserted before <EOR> where the
// record has no such tag; the definition is the guess's.
TEST_F(TransferRoundTest, AdifLogGetsYAndTheDayInExactlyThePrintedRecords)
{
    start(QStringLiteral("LOG.ADI"));
    window->convDefTable() = GuessConvDef(window->table());
    window->SendFieldIndex = window->FindSendField();
    window->UpdateControls();
    EXPECT_EQ(window->SendMark->text(), QStringLiteral("Y")) << "the mark ADIF writes";
    EXPECT_TRUE(window->SendMark->isReadOnly());
    const int sent = window->SendFieldIndex;
    ASSERT_EQ(window->table().FieldName(sent), "QSL_SENT");
    const Cells cellsBefore = readTable(dir, name);
    const QByteArray before = readFile(path());

    window->CARDOBtnClick();
    ASSERT_TRUE(dialogs.asked.empty()) << dialogs.asked.front().text.toStdString();
    long unsent = 0;
    std::vector<long> unsentPositions;
    for (std::size_t p = 0; p < cellsBefore.size(); ++p) {
        const std::string& mark = cellsBefore[p][static_cast<std::size_t>(sent)];
        if (mark.empty() || mark == "N" || mark == "R" || mark == "Q") {
            ++unsent;
            unsentPositions.push_back(static_cast<long>(p));
        }
    }
    const int held = property(QStringLiteral("GetLogCount"));
    ASSERT_EQ(held, unsent) << "absent, N, R and Q are not yet sent";
    ASSERT_GE(held, 4);

    ASSERT_FALSE(cardbus::printLines({0, 1, held - 1}).isEmpty());
    const std::vector<long> printed = printedPositions();
    ASSERT_EQ(printed, (std::vector<long>{unsentPositions[0], unsentPositions[1], unsentPositions.back()}));
    dialogs.answer(Answer::Yes);
    window->TimerTimer();
    EXPECT_TRUE(dialogs.texts("ShowError").isEmpty()) << dialogs.texts("ShowError").join(' ').toStdString();
    EXPECT_TRUE(dialogs.texts("WarningBox").isEmpty()) << dialogs.texts("WarningBox").join(' ').toStdString();
    EXPECT_EQ(window->PrintPhase, 0);
    window.reset();

    // Every record but the printed ones keeps its bytes; a printed one gets the two tags and nothing else.
    const QByteArray after = readFile(path());
    const QByteArray day = QByteArray::fromStdString(adifToday());
    QByteArray expected = before;
    for (auto it = printed.rbegin(); it != printed.rend(); ++it) {
        const auto [begin, end] = adifRecord(before, static_cast<int>(*it));
        QByteArray record = before.mid(begin, end - begin);
        const qsizetype eor = record.toUpper().lastIndexOf("<EOR>");
        const qsizetype tag = record.toUpper().indexOf("<QSL_SENT:1>");
        if (tag >= 0) {
            record[tag + 12] = 'Y';
            record.insert(eor, "<QSL_SDATE:8>" + day + " ");
        } else {
            record.insert(eor, "<QSL_SENT:1>Y <QSL_SDATE:8>" + day + " ");
        }
        expected.replace(begin, end - begin, record);
    }
    EXPECT_EQ(after, expected);
    Cells cells = cellsBefore;
    for (long p : printed) {
        cells[static_cast<std::size_t>(p)][static_cast<std::size_t>(sent)] = "Y";
        cells[static_cast<std::size_t>(p)][static_cast<std::size_t>(sent) + 1] = adifToday();
    }
    EXPECT_EQ(readTable(dir, name), cells);
}

TEST_F(TransferRoundTest, NoThenCancelAtCloseThenYesAtClose)
{
    start(QStringLiteral("LOG.DBF"));
    const QByteArray before = readFile(path());
    window->CARDOBtnClick();
    const int held = property(QStringLiteral("GetLogCount"));
    ASSERT_FALSE(cardbus::printLines({1}).isEmpty());
    const std::vector<long> printed = printedPositions();

    dialogs.answer(Answer::No);
    window->TimerTimer();
    window->TimerTimer();
    EXPECT_EQ(dialogs.texts("YesNoBox").size(), 1) << "the poll is silent while the update is pending";
    EXPECT_EQ(window->PrintPhase, 2);

    dialogs.answer(Answer::Cancel);
    EXPECT_FALSE(window->FormCloseQuery());
    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(property(QStringLiteral("GetLogCount")), held) << "Cancel sends nothing";

    dialogs.answer(Answer::Yes);
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_EQ(dialogs.texts("YesNoCancelBox"), (QStringList{cardtext::kAskUpdate, cardtext::kAskUpdate}));
    EXPECT_EQ(property(QStringLiteral("GetLogCount")), 0) << "the card program dropped its lines at close";
    window.reset();
    EXPECT_EQ(readTable(dir, name)[static_cast<std::size_t>(printed.at(0))][kSendField], "F");
    EXPECT_TRUE(onlyMarksWritten(before, readFile(path()), 1));
}

TEST_F(TransferRoundTest, WithoutARegisteredCardProgramTheTransferSaysSoAndStops)
{
    cardbus::OwnBus bare(false, QStringLiteral("bare-window"));
    ASSERT_TRUE(bare.connection && bare.connection->isConnected());
    start(QStringLiteral("LOG.DB"));
    const QDBusConnection bus = *bare.connection;
    window->m_link = std::make_unique<CardLink>([bus]() -> std::unique_ptr<CardAutomation> {
        QString why;
        auto c = DBusCardAutomation::create(bus, cardbus::kService, &why);
        if (!c) {
            throw KelboError(why.toStdString());
        }
        return c;
    });
    window->CARDOBtnClick();
    // The message keeps its text and adds one line with the cause and the fix.
    ASSERT_EQ(dialogs.texts("ErrorBox").size(), 1);
    const QStringList lines = dialogs.texts("ErrorBox").front().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("CARDOを起動できません."));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("サービスファイル"))) << lines[1].toStdString();
    EXPECT_EQ(dialogs.asked.size(), 1u);
    EXPECT_FALSE(window->Timer->isActive());
    expectSaneWindow();
}

TEST_F(TransferRoundTest, CardProgramKilledInTheMiddleOfATransfer)
{
    cardbus::stop();
    cardbus::setEnvironment({{QStringLiteral("KELBO_CARDPRINTER_EXIT_AFTER_LINES"), QStringLiteral("3")}});
    start(QStringLiteral("LOG.TXT"));
    const QByteArray before = readFile(path());
    window->CARDOBtn->click(); // the button's handler shows what goes wrong
    cardbus::setEnvironment({{QStringLiteral("KELBO_CARDPRINTER_EXIT_AFTER_LINES"), QString()}});

    ASSERT_EQ(dialogs.texts("ShowError").size(), 1);
    // The program's own words first, the bus's detail on the second line.
    EXPECT_TRUE(dialogs.texts("ShowError")
                    .front()
                    .startsWith(QStringLiteral("CARDOが応答しません。\norg.freedesktop.DBus.Error.")))
        << dialogs.texts("ShowError").front().toStdString();
    EXPECT_FALSE(window->Timer->isActive());
    expectSaneWindow();

    // Closing after the failed transfer sends nothing and writes nothing.
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_EQ(dialogs.asked.size(), 1u);
    window.reset();
    EXPECT_EQ(readFile(path()), before);
}

TEST_F(TransferRoundTest, TableChangedBetweenTransferAndUpdateGetsNoWrongMark)
{
    start(QStringLiteral("LOG.DBF"));
    window->CARDOBtnClick();
    ASSERT_FALSE(cardbus::printLines({0, 1}).isEmpty());
    const std::vector<long> printed = printedPositions();
    ASSERT_EQ(printed.size(), 2u);

    // Another program edits the second printed contact's name.
    {
        auto other = createLogTable();
        other->OpenTable(dir.toStdString(), name.toStdString());
        other->MoveTo(printed[1]);
        other->EditRecord();
        other->SetFieldText(7, cp932::fromUtf8("別人"));
        other->Post();
    }
    const Cells changed = readTable(dir, name);

    // The open table refuses to write over the other program's change, and the update stays pending.
    dialogs.answer(Answer::Yes);
    guarded(window.get(), [this] { window->TimerTimer(); });
    EXPECT_EQ(dialogs.texts("ShowError").size(), 1);
    EXPECT_EQ(window->PrintPhase, 2);
    EXPECT_EQ(readTable(dir, name), changed);
    expectSaneWindow();

    // Connected again, the closing question marks the record that is unchanged and leaves the other alone.
    window->ConBtnClick();
    ASSERT_TRUE(window->table().IsOpen());
    dialogs.answer(Answer::Yes);
    EXPECT_TRUE(window->FormCloseQuery());
    ASSERT_EQ(dialogs.texts("WarningBox").size(), 1);
    EXPECT_TRUE(dialogs.texts("WarningBox")[0].startsWith(cardtext::kLeftUnmarked.arg(1) + "\r\n"));
    window.reset();
    Cells expected = changed;
    expected[static_cast<std::size_t>(printed[0])][kSendField] = "F";
    EXPECT_EQ(readTable(dir, name), expected);
}

/** "Kind:first line" of every box asked so far. */
QStringList boxes(const ScriptedDialogs& d)
{
    QStringList out;
    for (const auto& a : d.asked) {
        out << a.kind + QLatin1Char(':') + a.text.split(QRegularExpression(QStringLiteral("[\r\n]"))).first();
    }
    return out;
}

const QString kAsk = QStringLiteral("CARDOがデータを印刷ジョブに送りました。");

// A card program that refuses, hangs, dies, answers slowly or with the wrong type never costs a mark, never marks a
// record that was not printed, and shows each failure once in the program's words.
TEST_F(TransferRoundTest, MisbehavingCardProgram)
{
    struct Case
    {
        const char* what;
        QStringList rules; // for kelbo-fakecard
        int timeoutMs; // of each call
        QList<int> print; // lines printed after the transfer
        int ticks;
        QList<Answer> answers;
        int closes;
        int addLogPos; // AddLogPos calls received; -1: every unsent contact
        QStringList asked; // "Kind:first line" of every box; a final '*' matches a prefix
        int marks; // marks written into the table
        QList<bool> closed; // each close attempt's result
        QStringList neverCalled;
        QString sendMark = QStringLiteral("F");
        bool readOnlyUntilLastClose = false;
        bool tickWhileBoxOpen = false;
    } cases[] = {
        {"a refused line stops the transfer",
         {"AddLogPos#3=refuse"},
         10000,
         {},
         0,
         {},
         1,
         3,
         {"ShowError:CARDOが AddLogPos を受け付けませんでした。"},
         0,
         {true},
         {"SetPrintMax", "DoLogList", "PrintStat"}},
        {"each slow call gets its own timeout",
         {"*=delay:100"},
         300,
         {0},
         1,
         {Answer::Yes},
         1,
         -1,
         {"YesNoBox:" + kAsk},
         1,
         {true},
         {}},
        {"GetLogCount failing at close keeps the window open",
         {"GetLogCount#1=refuse"},
         10000,
         {0, 1},
         1,
         {Answer::No, Answer::Yes, Answer::Yes},
         2,
         -1,
         {"YesNoBox:" + kAsk, "YesNoCancelBox:" + kAsk, "ShowError:CARDOが GetLogCount を受け付けませんでした。",
          "YesNoCancelBox:" + kAsk},
         2,
         {false, true},
         {}},
        {"a read-only log at close keeps the window open",
         {},
         10000,
         {0, 1},
         1,
         {Answer::No, Answer::Yes, Answer::Yes},
         2,
         -1,
         {"YesNoBox:" + kAsk, "YesNoCancelBox:" + kAsk, "ShowError:*", "YesNoCancelBox:" + kAsk},
         2,
         {false, true},
         {},
         QStringLiteral("F"),
         true},
        {"a failed poll does not stop the poll",
         {"PrintStat#1=refuse"},
         10000,
         {0, 1},
         3,
         {Answer::Yes},
         0,
         -1,
         {"ShowError:CARDOが PrintStat を受け付けませんでした。", "YesNoBox:" + kAsk},
         2,
         {},
         {}},
        {"a failed poll still asks at close",
         {"PrintStat#1=refuse"},
         10000,
         {0},
         1,
         {Answer::Yes},
         1,
         -1,
         {"ShowError:CARDOが PrintStat を受け付けませんでした。", "YesNoCancelBox:" + kAsk},
         1,
         {true},
         {}},
        {"a mark wider than the SEND field is asked about first",
         {},
         10000,
         {},
         0,
         {Answer::No},
         0,
         0,
         {"YesNoBox:送信マーク「済」はSENDフィールド(1バイト)に入りません."},
         0,
         {},
         {"ShowWindow"},
         QStringLiteral("済")},
        {"a negative count",
         {"GetLogCount=answer:i:-3"},
         10000,
         {0},
         1,
         {Answer::Yes},
         0,
         -1,
         {"YesNoBox:" + kAsk, "ShowError:CARDOが報告した行数 -3 は, 転送した 14 行の範囲にありません."},
         0,
         {},
         {"DeletePrintedData", "Set.PrintStat"}},
        {"a count beyond the lines handed over",
         {"GetLogCount=answer:i:2147483647"},
         10000,
         {0},
         1,
         {Answer::Yes},
         0,
         -1,
         {"YesNoBox:" + kAsk, "ShowError:CARDOが報告した行数 2147483647 は, 転送した 14 行の範囲にありません."},
         0,
         {},
         {"GetPrintedPos", "DeletePrintedData", "Set.PrintStat"}},
        {"a position as int64",
         {"GetPrintedPos#1=answer:x:4294967300"},
         10000,
         {0},
         1,
         {Answer::Yes},
         0,
         -1,
         {"YesNoBox:" + kAsk, "ShowError:GetPrintedPos の戻り値が数値ではありません"},
         0,
         {},
         {"DeletePrintedData", "Set.PrintStat"}},
        {"a negative int64 position",
         {"GetPrintedPos#1=answer:x:-4294967288"},
         10000,
         {0},
         1,
         {Answer::Yes},
         0,
         -1,
         {"YesNoBox:" + kAsk, "ShowError:GetPrintedPos の戻り値が数値ではありません"},
         0,
         {},
         {"DeletePrintedData", "Set.PrintStat"}},
        {"a position as double",
         {"GetPrintedPos#1=answer:d:8.4"},
         10000,
         {0},
         1,
         {Answer::Yes},
         0,
         -1,
         {"YesNoBox:" + kAsk, "ShowError:GetPrintedPos の戻り値が数値ではありません"},
         0,
         {},
         {"DeletePrintedData", "Set.PrintStat"}},
        {"a print status as string",
         {"PrintStat=answer:s:2"},
         10000,
         {0},
         1,
         {},
         0,
         -1,
         {"ShowError:PrintStat の戻り値が数値ではありません"},
         0,
         {},
         {"GetLogCount"}},
        {"a print status as double",
         {"PrintStat=answer:d:2.4"},
         10000,
         {0},
         1,
         {},
         0,
         -1,
         {"ShowError:PrintStat の戻り値が数値ではありません"},
         0,
         {},
         {"GetLogCount"}},
        {"a position never handed over",
         {"GetPrintedPos#1=answer:i:1"},
         10000,
         {0},
         1,
         {Answer::Yes},
         0,
         -1,
         {"YesNoBox:" + kAsk, "ShowError:CARDOが, 転送していない位置 1 を印刷済みと報告しました."},
         0,
         {},
         {"DeletePrintedData", "Set.PrintStat"}},
        {"a hung DeleteLog at close shows one box",
         {"DeleteLog#2=hang"},
         300,
         {},
         0,
         {},
         1,
         -1,
         {"ShowError:CARDOが応答しません。"},
         0,
         {true},
         {},
         QStringLiteral("F"),
         false,
         true},
        {"a card program that died is not called at close",
         {"PrintStat#1=die"},
         10000,
         {},
         2,
         {},
         1,
         -1,
         {"ShowError:CARDOが応答しません。",
          "WarningBox:CARDOが終了したため, 印刷済みのカードを問い合わせできませんでした."},
         0,
         {true},
         {},
         QStringLiteral("F"),
         false,
         true},
        {"PrintStat refused at close keeps the window open and asks again",
         {"PrintStat#1=refuse"},
         10000,
         {0},
         0,
         {Answer::Yes},
         2,
         -1,
         {"ShowError:CARDOに印刷状況を問い合わせできません.", "YesNoCancelBox:" + kAsk},
         1,
         {false, true},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cardbus::stop();
        FakeCard fake(c.rules);
        start(QStringLiteral("LOG.DBF"));
        const int timeout = c.timeoutMs;
        window->m_link = std::make_unique<CardLink>([timeout]() -> std::unique_ptr<CardAutomation> {
            auto card = DBusCardAutomation::create();
            if (card) {
                card->setCallTimeout(timeout);
            }
            return card;
        });
        window->SendMark->setText(c.sendMark);
        for (Answer a : c.answers) {
            dialogs.answer(a);
        }
        if (c.tickWhileBoxOpen) {
            dialogs.whileOpen = [this](const ScriptedDialogs::Asked&) { tickAsTheTimerDoes(); };
        }
        const QByteArray before = readFile(path());

        guarded(window.get(), [this] { window->CARDOBtnClick(); }); // as the button's handler runs it
        if (!c.print.isEmpty()) {
            fake.print(c.print);
        }
        for (int i = 0; i < c.ticks; ++i) {
            tickAsTheTimerDoes();
        }
        const QFileDevice::Permissions rw = QFile::permissions(path());
        if (c.readOnlyUntilLastClose) {
            QFile::setPermissions(path(), QFile::ReadOwner);
        }
        QList<bool> closed;
        for (int i = 0; i < c.closes; ++i) {
            if (c.readOnlyUntilLastClose && i == c.closes - 1) {
                QFile::setPermissions(path(), rw);
            }
            closed << window->FormCloseQuery();
        }
        dialogs.whileOpen = {};

        if (c.addLogPos >= 0) {
            EXPECT_EQ(fake.callsOf(QStringLiteral("AddLogPos")).size(), c.addLogPos);
        } else {
            EXPECT_EQ(fake.callsOf(QStringLiteral("AddLogPos")).size(), 14) << "every unsent contact";
        }
        const QStringList asked = boxes(dialogs);
        EXPECT_EQ(asked.size(), c.asked.size()) << asked.join(QLatin1Char('|')).toStdString();
        for (int i = 0; i < std::min(asked.size(), c.asked.size()); ++i) {
            const QString& want = c.asked[i];
            if (want.endsWith(QLatin1Char('*'))) {
                EXPECT_TRUE(asked[i].startsWith(want.chopped(1))) << asked[i].toStdString();
            } else {
                EXPECT_EQ(asked[i], want);
            }
        }
        EXPECT_EQ(closed, c.closed);
        for (const QString& op : c.neverCalled) {
            EXPECT_TRUE(fake.callsOf(op).isEmpty()) << op.toStdString();
        }
        expectSaneWindow();
        window.reset();
        EXPECT_TRUE(onlyMarksWritten(before, readFile(path()), c.marks));
        dialogs.asked.clear();
    }
}

// The printer jammed after the user answered Yes: the last update is taken back, byte for byte, without the card
// program; once only, and only while the same table is open.
TEST_F(TransferRoundTest, LastUpdateIsUndoneToTheExactBytes)
{
    for (const QString& table :
         {QStringLiteral("LOG.DB"), QStringLiteral("LOG.DBF"), QStringLiteral("LOG.TXT"), QStringLiteral("LOG.ADI")}) {
        SCOPED_TRACE(table.toStdString());
        start(table);
        if (table == QStringLiteral("LOG.ADI")) {
            // The update writes QSL_SENT and QSL_SDATE, inserting them where a record has none.
            window->convDefTable() = GuessConvDef(window->table());
            window->SendFieldIndex = window->FindSendField();
        }
        const QByteArray before = readFile(path());
        EXPECT_FALSE(window->UndoBtn->isEnabled());
        window->CARDOBtnClick();
        ASSERT_FALSE(cardbus::printLines({0, 1, 3}).isEmpty());
        dialogs.answer(Answer::Yes);
        window->TimerTimer();
        ASSERT_NE(readFile(path()), before);
        EXPECT_TRUE(window->UndoBtn->isEnabled());
        const int cardCalls = property(QStringLiteral("GetLogCount"));

        dialogs.answer(Answer::No); // asked first: nothing happens on No
        window->UndoBtn->click();
        EXPECT_NE(readFile(path()), before);

        dialogs.answer(Answer::Yes);
        window->UndoBtn->click();
        EXPECT_EQ(readFile(path()), before) << "every byte as before the update";
        EXPECT_EQ(window->StatusBar->currentMessage(), QStringLiteral("3件の送信マークを取り消しました"));
        EXPECT_EQ(window->marksThisSession(), 0);
        EXPECT_FALSE(window->UndoBtn->isEnabled()) << "once only";
        EXPECT_EQ(property(QStringLiteral("GetLogCount")), cardCalls) << "the card program is not involved";
        EXPECT_TRUE(dialogs.texts("ShowError").isEmpty()) << dialogs.texts("ShowError").join(' ').toStdString();
        EXPECT_TRUE(dialogs.texts("WarningBox").isEmpty());
        expectSaneWindow();
        window.reset();
        EXPECT_EQ(readFile(path()), before);
        dialogs.asked.clear();
    }
}

TEST_F(TransferRoundTest, CloseRequestedWhileTheQuestionIsOpenWaitsForIt)
{
    cardbus::stop();
    FakeCard fake({});
    start(QStringLiteral("LOG.DBF"));
    const QByteArray before = readFile(path());
    window->CARDOBtnClick();
    fake.print({0});
    QList<bool> closedMeanwhile;
    dialogs.whileOpen = [&](const ScriptedDialogs::Asked& a) {
        if (a.kind == QLatin1String("YesNoBox")) {
            closedMeanwhile << window->FormCloseQuery(); // the window's close button, pressed under the question
        }
    };
    dialogs.answer(Answer::Yes);
    tickAsTheTimerDoes();
    dialogs.whileOpen = {};
    EXPECT_EQ(closedMeanwhile, QList<bool>{false});
    EXPECT_EQ(boxes(dialogs), QStringList{"YesNoBox:" + kAsk});
    EXPECT_TRUE(fake.callsOf(QStringLiteral("DeleteLog")).size() == 1) << "only the transfer's own";
    window.reset();
    EXPECT_TRUE(onlyMarksWritten(before, readFile(path()), 1));
}

TEST_F(TransferRoundTest, WindowKeepsPaintingWithTheWaitPointerWhileACallWaits)
{
    cardbus::stop();
    FakeCard fake({QStringLiteral("DoLogList=delay:600")});
    start(QStringLiteral("LOG.DBF"));
    bool ranDuringTheCall = false;
    bool waitPointer = false;
    QTimer::singleShot(100, window.get(), [&] {
        ranDuringTheCall = window->Timer->isActive() == false && !fake.callsOf(QStringLiteral("DoLogList")).isEmpty();
        waitPointer = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        window->repaint();
    });
    window->CARDOBtnClick();
    EXPECT_TRUE(ranDuringTheCall);
    EXPECT_TRUE(waitPointer);
    EXPECT_TRUE(dialogs.asked.empty());
    expectSaneWindow();
}

TEST_F(TransferRoundTest, DoubleByteMarkNeverReachesTheLineAsHalfACharacter)
{
    cardbus::stop();
    FakeCard fake({});
    start(QStringLiteral("LOG.TXT"));
    window->table().CloseTable();
    // A RECV field two bytes wide holding "済" in the first contact.
    QByteArray sch = readFile(dir + QStringLiteral("LOG.SCH"));
    sch.replace("RECV,CHAR,1", "RECV,CHAR,2");
    QByteArray txt = readFile(path());
    const qsizetype eol = txt.indexOf('\n');
    const qsizetype lastQuote = txt.lastIndexOf("\"R\"", eol);
    ASSERT_GT(lastQuote, 0);
    txt.replace(lastQuote, 3, "\"" + QByteArray::fromStdString(cp932::fromUtf8("済")) + "\"");
    for (const auto& [name, bytes] : {std::pair{QStringLiteral("LOG.SCH"), sch}, std::pair{name, txt}}) {
        QFile f(dir + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    window->ConBtnClick();
    ASSERT_EQ(window->table().FieldText(12), cp932::fromUtf8("済"));
    window->AllSend->setChecked(true);
    window->CARDOBtnClick();
    ASSERT_TRUE(dialogs.asked.empty()) << boxes(dialogs).join(QLatin1Char('|')).toStdString();
    const QStringList first = fake.callsOf(QStringLiteral("AddLogPos")).filter(QStringLiteral(",0)"));
    ASSERT_FALSE(first.isEmpty());
    EXPECT_FALSE(first.front().contains(QChar(0x1a))) << first.front().toStdString();
    EXPECT_TRUE(first.front().contains(QStringLiteral(",F,,0,0)"))) << first.front().toStdString();
}

// A logging program that rewrites the ADIF log in place after the transfer: the open table refuses to write, and
// once connected again only the printed record that is unchanged gets its mark.
TEST_F(TransferRoundTest, AdifLogChangedByTheLoggerGetsNoWrongMark)
{
    start(QStringLiteral("LOG.ADI"));
    window->convDefTable() = GuessConvDef(window->table());
    window->SendFieldIndex = window->FindSendField();
    const auto sent = static_cast<std::size_t>(window->SendFieldIndex);
    window->CARDOBtnClick();
    ASSERT_FALSE(cardbus::printLines({0, 1}).isEmpty());
    const std::vector<long> printed = printedPositions();
    ASSERT_EQ(printed.size(), 2u);

    // The logger changes the second printed contact's name and writes the file anew, in place.
    QByteArray log = readFile(path());
    const auto [begin, end] = adifRecord(log, static_cast<int>(printed[1]));
    QByteArray record = log.mid(begin, end - begin);
    const QByteArray name = QStringLiteral("ピーター").toUtf8();
    ASSERT_TRUE(record.contains("<name:12>" + name));
    record.replace("<name:12>" + name, "<name:13>" + name + "X");
    log.replace(begin, end - begin, record);
    {
        QFile out(path());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(log);
    }
    const Cells changed = readTable(dir, this->name);

    dialogs.answer(Answer::Yes);
    guarded(window.get(), [this] { window->TimerTimer(); });
    EXPECT_EQ(dialogs.texts("ShowError").size(), 1);
    EXPECT_EQ(window->PrintPhase, 2);
    EXPECT_EQ(readFile(path()), log);

    window->ConBtnClick();
    ASSERT_TRUE(window->table().IsOpen());
    dialogs.answer(Answer::Yes);
    EXPECT_TRUE(window->FormCloseQuery());
    ASSERT_EQ(dialogs.texts("WarningBox").size(), 1);
    EXPECT_TRUE(dialogs.texts("WarningBox")[0].startsWith(cardtext::kLeftUnmarked.arg(1) + "\r\n"));
    window.reset();
    Cells expected = changed;
    expected[static_cast<std::size_t>(printed[0])][sent] = "Y";
    expected[static_cast<std::size_t>(printed[0])][sent + 1] = adifToday();
    EXPECT_EQ(readTable(dir, this->name), expected);
}

TEST_F(TransferRoundTest, UndoAfterAReconnectOrAChangeByAnotherProgramWritesNothing)
{
    start(QStringLiteral("LOG.DBF"));
    window->CARDOBtnClick();
    ASSERT_FALSE(cardbus::printLines({0, 1}).isEmpty());
    const std::vector<long> printed = printedPositions();
    dialogs.answer(Answer::Yes);
    window->TimerTimer();
    ASSERT_TRUE(window->UndoBtn->isEnabled());
    {
        auto other = createLogTable();
        other->OpenTable(dir.toStdString(), name.toStdString());
        other->MoveTo(printed[1]);
        other->EditRecord();
        other->SetFieldText(7, cp932::fromUtf8("別人"));
        other->Post();
    }
    const QByteArray changed = readFile(path());
    dialogs.answer(Answer::Yes);
    window->UndoBtn->click();
    EXPECT_EQ(readFile(path()), changed) << "the table's own check refuses to write over the change";
    EXPECT_EQ(dialogs.texts("ShowError").size() + dialogs.texts("WarningBox").size(), 1u);

    window->ConBtnClick();
    EXPECT_FALSE(window->UndoBtn->isEnabled()) << "a table opened again has nothing to take back";
    window->UndoBtn->click();
    EXPECT_EQ(readFile(path()), changed);
}

// A UTF-8 CSV log without a schema (the sample log converted, its field names in the first line): the names reach the
// card program as CP932 would hold them, a character CP932 cannot hold as '?', and the marks go back in UTF-8 into
// exactly the printed records.
TEST_F(TransferRoundTest, Utf8CsvLogGetsItsMarksInUtf8)
{
    const auto makeUtf8Log = [](const QString& folder) {
        QByteArray csv = "DATE,TIME,CALL,HIS,MY,FREQ,MODE,NAME,QTH,QSL,REM,SEND,RECV\r\n";
        csv += QByteArray::fromStdString(cp932::toUtf8(readFile(folder + QStringLiteral("LOG.TXT")).toStdString()));
        // 𠮷 (outside the BMP) has no CP932 form.
        ASSERT_TRUE(csv.contains("比嘉 健"));
        csv.replace("比嘉 健", "𠮷田 健");
        QFile f(folder + QStringLiteral("QSO.CSV"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(csv);
    };
    start(QStringLiteral("QSO.CSV"), makeUtf8Log);
    const Cells cellsBefore = readTable(dir, name);
    ASSERT_EQ(cellsBefore[0][7], cp932::fromUtf8("山田 太郎"));
    ASSERT_EQ(cellsBefore[2][7], cp932::fromUtf8("?田 健"));
    const QByteArray before = readFile(path());

    window->CARDOBtnClick();
    ASSERT_TRUE(dialogs.asked.empty()) << boxes(dialogs).join(QLatin1Char('|')).toStdString();
    const int held = property(QStringLiteral("GetLogCount"));
    ASSERT_GE(held, 2);
    ASSERT_FALSE(cardbus::printLines({0, held - 1}).isEmpty());
    const std::vector<long> printed = printedPositions();
    ASSERT_EQ(printed.size(), 2u);
    dialogs.answer(Answer::Yes);
    window->TimerTimer();
    EXPECT_EQ(dialogs.texts("YesNoBox"), QStringList{cardtext::kAskUpdate});
    EXPECT_TRUE(dialogs.texts("ShowError").isEmpty()) << dialogs.texts("ShowError").join(' ').toStdString();
    window.reset();

    const QByteArray after = readFile(path());
    EXPECT_TRUE(cp932::isValidUtf8(std::string_view(after.constData(), static_cast<std::size_t>(after.size()))));
    EXPECT_TRUE(onlyMarksInserted(before, after, 2));
    Cells expected = cellsBefore;
    for (long p : printed) {
        expected[static_cast<std::size_t>(p)][kSendField] = "F";
    }
    EXPECT_EQ(readTable(dir, name), expected);

    // The lines handed over, seen by a card program that records them.
    cardbus::stop();
    FakeCard fake({});
    dialogs.asked.clear();
    start(QStringLiteral("QSO.CSV"), makeUtf8Log);
    window->AllSend->setChecked(true);
    window->CARDOBtnClick();
    ASSERT_TRUE(dialogs.asked.empty()) << boxes(dialogs).join(QLatin1Char('|')).toStdString();
    const QString lines = fake.callsOf(QStringLiteral("AddLogPos")).join(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("山田 太郎"))) << lines.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("?田 健"))) << lines.toStdString();
    EXPECT_FALSE(lines.contains(QChar(0xFFFD))) << lines.toStdString();
}

} // namespace

// CARDO hands over the table the boxes name: a table chosen with 参照 but not yet connected is connected first.
TEST_F(TransferRoundTest, CardoAfterBrowsingHandsOverTheTableChosen)
{
    start(QStringLiteral("LOG.DBF"));
    QDir().mkpath(dir + QStringLiteral("portable"));
    const QString chosen = dir + QStringLiteral("portable/LOG.TXT");
    ASSERT_TRUE(QFile::copy(dir + QStringLiteral("LOG.TXT"), chosen));
    ASSERT_TRUE(QFile::copy(dir + QStringLiteral("LOG.SCH"), dir + QStringLiteral("portable/LOG.SCH")));
    dialogs.fileName(chosen);
    window->RefBtn->click();
    ASSERT_EQ(window->EditLog->text(), QStringLiteral("LOG.TXT"));
    ASSERT_TRUE(window->table().FilePath().size() > 0);

    window->CARDOBtn->click();
    EXPECT_EQ(QString::fromStdString(window->table().FilePath()), chosen);
    EXPECT_GT(property(QStringLiteral("GetLogCount")), 0);
    ASSERT_FALSE(cardbus::printLines({0}).isEmpty());
    const QByteArray before = readFile(dir + QStringLiteral("LOG.DBF"));
    dialogs.answer(Answer::Yes);
    window->TimerTimer();
    EXPECT_TRUE(dialogs.texts("ShowError").isEmpty()) << dialogs.texts("ShowError").join(' ').toStdString();
    EXPECT_TRUE(dialogs.texts("WarningBox").isEmpty()) << dialogs.texts("WarningBox").join(' ').toStdString();
    window.reset();
    EXPECT_EQ(readFile(dir + QStringLiteral("LOG.DBF")), before) << "the table shown before is not touched";
    EXPECT_EQ(readTable(dir + QStringLiteral("portable/"), QStringLiteral("LOG.TXT"))[0][kSendField], "F");
}

// A logger adds a contact carrying a tag the log never had between the transfer and the update: the fields move, and
// exactly the printed records get their mark in QSL_SENT.
TEST_F(TransferRoundTest, AdifLogGainingATagMarksThePrintedRecordsInQslSent)
{
    start(QStringLiteral("LOG.ADI"));
    window->convDefTable() = GuessConvDef(window->table());
    window->DefinitionEdited();
    window->SendFieldIndex = window->FindSendField();
    window->CARDOBtnClick();
    ASSERT_FALSE(cardbus::printLines({0, 1}).isEmpty());
    const std::vector<long> printed = printedPositions();
    ASSERT_EQ(printed.size(), 2u);
    const Cells cellsBefore = readTable(dir, name);
    {
        QFile log(path());
        ASSERT_TRUE(log.open(QIODevice::Append));
        log.write("<QSO_DATE:8>20240601 <TIME_ON:4>1200 <CALL:5>K1ABC <MODE:2>CW <CONTEST_ID:7>ARRL-DX <EOR>\n");
    }
    window->ConBtnClick(); // the logger's contact in view
    ASSERT_TRUE(window->table().IsOpen());
    EXPECT_TRUE(dialogs.asked.empty()) << dialogs.asked.front().text.toStdString();
    ASSERT_EQ(window->table().FieldName(window->SendFieldIndex), "QSL_SENT");

    dialogs.answer(Answer::Yes);
    window->TimerTimer();
    EXPECT_TRUE(dialogs.texts("ShowError").isEmpty()) << dialogs.texts("ShowError").join(' ').toStdString();
    EXPECT_TRUE(dialogs.texts("WarningBox").isEmpty()) << dialogs.texts("WarningBox").join(' ').toStdString();
    const int sent = window->SendFieldIndex;
    window.reset();

    const Cells after = readTable(dir, name);
    ASSERT_EQ(after.size(), cellsBefore.size() + 1);
    for (std::size_t r = 0; r < after.size(); ++r) {
        const bool wasPrinted = std::find(printed.begin(), printed.end(), static_cast<long>(r)) != printed.end();
        const std::string& mark = after[r][static_cast<std::size_t>(sent)];
        if (wasPrinted) {
            EXPECT_EQ(mark, "Y") << r;
            EXPECT_EQ(after[r][static_cast<std::size_t>(sent) + 1], adifToday()) << r;
        } else if (r < cellsBefore.size()) {
            // The fields moved by one: each record's QSL_SENT as before.
            EXPECT_EQ(mark, cellsBefore[r][static_cast<std::size_t>(sent) - 1]) << r;
        } else {
            EXPECT_EQ(mark, "") << "the new contact";
        }
    }
    EXPECT_EQ(QString::fromLatin1(readFile(path())).count(QStringLiteral("<CONTEST_ID")), 1);
}

// One printed row of a text table that readers may split otherwise is left alone and named; the other printed rows
// get their marks, and the update is done.
TEST_F(TransferRoundTest, DoubtfulRowAmongThePrintedIsSkippedAndListed)
{
    start(QStringLiteral("LOG.TXT"), [](const QString& folder) {
        QFile f(folder + QStringLiteral("LOG.TXT"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        ASSERT_TRUE(text.contains(",\"JJ1SEO\","));
        text.replace(",\"JJ1SEO\",", ",\"JJ1SEO\"x,"); // a stray byte after the closing quote
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    });
    window->CARDOBtnClick();
    const int held = property(QStringLiteral("GetLogCount"));
    ASSERT_EQ(held, 14);
    QList<int> all;
    for (int i = 0; i < held; ++i) {
        all << i;
    }
    ASSERT_FALSE(cardbus::printLines(all).isEmpty());
    const std::vector<long> printed = printedPositions();
    const Cells before = readTable(dir, name);

    dialogs.answer(Answer::Yes);
    window->TimerTimer();
    EXPECT_TRUE(dialogs.texts("ShowError").isEmpty()) << dialogs.texts("ShowError").join(' ').toStdString();
    ASSERT_EQ(dialogs.texts("WarningBox").size(), 1);
    const QString warning = dialogs.texts("WarningBox")[0];
    EXPECT_TRUE(warning.startsWith(cardtext::kRefusedUnmarked.arg(1))) << warning.toStdString();
    EXPECT_TRUE(warning.contains(QStringLiteral("JJ1SEO"))) << warning.toStdString();
    EXPECT_EQ(window->PrintPhase, 0);
    EXPECT_EQ(window->marksThisSession(), 12); // K6LTE (LoTW only) is not printed, JJ1SEO is doubtful
    EXPECT_TRUE(window->FormCloseQuery()) << "nothing is asked again";
    EXPECT_EQ(dialogs.texts("YesNoCancelBox").size(), 0);
    window.reset();

    const Cells after = readTable(dir, name);
    for (long p : printed) {
        const auto r = static_cast<std::size_t>(p);
        const bool doubtful = before[r][2].rfind("JJ1SEO", 0) == 0; // read as "JJ1SEOx"
        EXPECT_EQ(after[r][kSendField], doubtful ? before[r][kSendField] : "F") << before[r][2];
    }
}
