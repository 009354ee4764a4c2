// The whole round in the main window on a private bus with the stand-in card program: transfer the sample log,
// print some lines, answer the question, and check the table on disk.
#include "../cardlink/StandinBus.h"
#include "ScriptedDialogs.h"
#include "app/TInfoBoxDlg.h"
#include "app/TMainWnd.h"
#include "cardlink/CardLink.h"
#include "common/Cp932.h"
#include "logtable/LogTable.h"

#include <QAbstractItemModel>
#include <QCheckBox>
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
        const int p = standin::call(QStringLiteral("GetPrintedPos"), {i}).arguments().value(0).toInt();
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
        standin::pdfFolder();
        m_oldCwd = QDir::currentPath();
    }
    void TearDown() override
    {
        window.reset();
        QDir::setCurrent(m_oldCwd);
    }

    /** A folder with the sample log and settings naming @p table, and a main window started in it. */
    void start(const QString& table)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_dir->isValid());
        dir = m_dir->path() + QLatin1Char('/');
        for (const char* f : {"LOG.DB", "LOG.DBF", "LOG.TXT", "LOG.SCH"}) {
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

        ASSERT_FALSE(standin::printLines({0, 2, held - 1}).isEmpty());
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

TEST_F(TransferRoundTest, NoThenCancelAtCloseThenYesAtClose)
{
    start(QStringLiteral("LOG.DBF"));
    const QByteArray before = readFile(path());
    window->CARDOBtnClick();
    const int held = property(QStringLiteral("GetLogCount"));
    ASSERT_FALSE(standin::printLines({1}).isEmpty());
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
    standin::OwnBus bare(false, QStringLiteral("bare-window"));
    ASSERT_TRUE(bare.connection && bare.connection->isConnected());
    start(QStringLiteral("LOG.DB"));
    const QDBusConnection bus = *bare.connection;
    setCardLink(*window->m_link, std::make_unique<CardLink>([bus]() -> std::unique_ptr<CardAutomation> {
        return DBusCardAutomation::create(bus);
    }));
    window->CARDOBtnClick();
    EXPECT_EQ(dialogs.texts("ErrorBox"), QStringList{QStringLiteral("CARDOを起動できません.")});
    EXPECT_EQ(dialogs.asked.size(), 1u);
    EXPECT_FALSE(window->Timer->isActive());
    expectSaneWindow();
}

TEST_F(TransferRoundTest, CardProgramKilledInTheMiddleOfATransfer)
{
    standin::stop();
    standin::setEnvironment({{QStringLiteral("CARDO_STANDIN_EXIT_AFTER_LINES"), QStringLiteral("3")}});
    start(QStringLiteral("LOG.TXT"));
    const QByteArray before = readFile(path());
    window->CARDOBtn->click(); // the button's handler shows what goes wrong
    standin::setEnvironment({{QStringLiteral("CARDO_STANDIN_EXIT_AFTER_LINES"), QString()}});

    ASSERT_EQ(dialogs.texts("ShowError").size(), 1);
    EXPECT_TRUE(dialogs.texts("ShowError").front().startsWith(QStringLiteral("org.freedesktop.DBus.Error.")))
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
    ASSERT_FALSE(standin::printLines({0, 1}).isEmpty());
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
    EXPECT_EQ(dialogs.texts("WarningBox"), QStringList{cardtext::kLeftUnmarked.arg(1)});
    window.reset();
    Cells expected = changed;
    expected[static_cast<std::size_t>(printed[0])][kSendField] = "F";
    EXPECT_EQ(readTable(dir, name), expected);
}

// The printer jammed after the user answered Yes: the last update is taken back, byte for byte, without the card
// program; once only, and only while the same table is open.
TEST_F(TransferRoundTest, LastUpdateIsUndoneToTheExactBytes)
{
    for (const QString& table : {QStringLiteral("LOG.DB"), QStringLiteral("LOG.DBF"), QStringLiteral("LOG.TXT")}) {
        SCOPED_TRACE(table.toStdString());
        start(table);
        const QByteArray before = readFile(path());
        EXPECT_FALSE(window->UndoBtn->isEnabled());
        window->CARDOBtnClick();
        ASSERT_FALSE(standin::printLines({0, 1, 3}).isEmpty());
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

TEST_F(TransferRoundTest, UndoAfterAReconnectOrAChangeByAnotherProgramWritesNothing)
{
    start(QStringLiteral("LOG.DBF"));
    window->CARDOBtnClick();
    ASSERT_FALSE(standin::printLines({0, 1}).isEmpty());
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

} // namespace
