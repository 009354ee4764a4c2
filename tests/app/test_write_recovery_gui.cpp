// At start, log writes that a crash cut off are put right before anything is opened, and the operator is told.
#include "ScriptedDialogs.h"
#include "TableWriters.h"
#include "app/WriteRecovery.h"
#include "logtable/WriteJournal.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(WriteRecovery, CutOffWriteIsUndoneAtStartAndTold)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    const std::string log = dir + "/log.csv";
    const std::string old = "CALL,SEND\r\nJA1AA,\"\"\r\nJA2BB,\"\"\r\n";
    ASSERT_TRUE(tablewrite::writeFile(log, old));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(log.c_str(), &st), 0);

    // The write stopped with its new bytes in place and the stale end of the old file still behind them.
    logtable::JournalEntry entry;
    entry.path = log;
    entry.device = st.st_dev;
    entry.inode = st.st_ino;
    entry.from = 17;
    entry.oldSize = static_cast<off_t>(old.size());
    entry.oldBytes = old.substr(17);
    logtable::ContentHash prefix;
    prefix.feed(old.substr(0, 17));
    entry.prefixHash = prefix.value();
    const std::string newer = "\"F\"\r\nJA2BB,\"\"\r\n";
    entry.newSize = 17 + static_cast<off_t>(newer.size());
    logtable::ContentHash next;
    next.feed(newer);
    entry.newHash = next.value();
    logtable::writeJournal(entry);
    ASSERT_TRUE(tablewrite::writeFile(log, old.substr(0, 17) + newer.substr(0, 6)));
    ::truncate(log.c_str(), static_cast<off_t>(old.size()));
    // And one for a log that is no longer there: it stays, and says so.
    entry.path = dir + "/gone.csv";
    entry.inode += 1;
    logtable::writeJournal(entry);

    ScriptedDialogs dialogs;
    RecoverInterruptedWrites(nullptr);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].kind, "WarningBox");
    const std::string told = dialogs.asked[0].text.toStdString();
    EXPECT_NE(told.find(log + " への前回の書き込みが途中で止まっていたため, 書き込む前の内容に戻しました"),
              std::string::npos)
        << told;
    EXPECT_NE(told.find(dir + "/gone.csv が見つからない"), std::string::npos) << told;
    EXPECT_EQ(tablewrite::readFile(log), old);

    // Nothing more to tell at the next start but the log that is still missing.
    RecoverInterruptedWrites(nullptr);
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[1].text.toStdString().find(log), std::string::npos);
}

} // namespace
