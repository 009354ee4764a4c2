// A mark written while another program appends to the log, or while the machine stops: nothing of the log is lost,
// and after a crash the file is whole old or whole new once it is opened again.
#include "TableFixtures.h"
#include "common/KelboError.h"
#include "logtable/FileTableEngine.h"
#include "logtable/WriteJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace fixtures;
using logtable::RewriteStage;

/** A log of one format: its bytes, the field a write changes, the two values a write alternates between (the file
 * holds the first), and a contact another program appends. */
struct Log
{
    const char* label;
    const char* name;
    std::string bytes;
    std::string field;
    std::string before;
    std::string after;
    std::string appended;
};

std::string textLog(int records)
{
    std::string out = "CALL,SEND,REM\r\n";
    for (int i = 0; i < records; ++i) {
        out += "JA" + std::to_string(i % 10) + "X" + std::to_string(i) + ",\"\",\"remark " + std::to_string(i)
            + "\"\r\n";
    }
    return out;
}

std::string adifLog(int records)
{
    std::string out = "log <ADIF_VER:5>3.1.4 <EOH>\n";
    for (int i = 0; i < records; ++i) {
        const std::string call = "JA1X" + std::to_string(100000 + i);
        out += "<CALL:" + std::to_string(call.size()) + ">" + call + " <COMMENT:1>x <QSL_SENT:1>N <EOR>\n";
    }
    return out;
}

std::vector<Log> logs(int records)
{
    return {
        {"text table", "log.csv", textLog(records), "SEND", "", "F", "JA9ZZZ,\"\",\"logged meanwhile\"\r\n"},
        {"ADIF log", "log.adi", adifLog(records), "COMMENT", "x", "a longer comment",
         "<CALL:6>JA9ZZZ <COMMENT:16>logged meanwhile <EOR>\n"},
    };
}

int fieldOf(LogTable& t, const std::string& name)
{
    for (int f = 0; f < t.FieldCount(); ++f) {
        if (t.FieldName(f) == name) {
            return f;
        }
    }
    return -1;
}

/** Writes @p value into @p field of @p row in one batch, as the send-mark update does. */
void writeValue(LogTable& t, long row, const std::string& field, const std::string& value)
{
    WriteBatch batch(t);
    t.MoveTo(row);
    t.EditRecord();
    t.SetFieldText(fieldOf(t, field), value);
    batch.end();
}

/** Another process runs @p act and ends. */
template <class Act> void inAnotherProcess(Act act)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        act();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
}

void appendThrough(int fd, const std::string& bytes)
{
    inAnotherProcess([&] {
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            ::_exit(1);
        }
    });
}

std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                names.push_back(e->d_name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class WriteSafety : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
        ASSERT_EQ(::mkdir(tmp.file("log").c_str(), 0755), 0);
    }
    void TearDown() override { logtable::setRewriteHookForTests(nullptr); }

    std::string journals() const { return state.path() + "KELBO"; }

    /** The file as one write of @p log gives it, made on a copy of its own. */
    std::string written(const Log& log, long row)
    {
        TempDir other;
        writeFile(other.file(log.name), log.bytes);
        writeValue(*open(other.path(), log.name), row, log.field, log.after);
        return readFile(other.file(log.name));
    }

    TempDir tmp;
    TempDir state;
};

// Another program appends a contact at every stage of the write, through a file it holds open (so that after the
// rename its bytes go to the old file): the contact is in the log afterwards, also after a second write.
TEST_F(WriteSafety, ContactAppendedAtAnyStageOfTheWriteIsKept)
{
    for (const Log& log : logs(5)) {
        const std::string once = written(log, 0);
        std::string twice;
        {
            TempDir other;
            writeFile(other.file(log.name), log.bytes);
            auto t = open(other.path(), log.name);
            writeValue(*t, 0, log.field, log.after);
            writeValue(*t, 3, log.field, log.after);
            twice = readFile(other.file(log.name));
        }
        struct Path
        {
            bool inPlace;
            std::vector<RewriteStage> stages;
        } paths[] = {
            {false, {RewriteStage::Started, RewriteStage::Copied, RewriteStage::Synced, RewriteStage::Renamed}},
            {true, {RewriteStage::Started, RewriteStage::Copied, RewriteStage::Journaled, RewriteStage::Written}},
        };
        for (const Path& p : paths) {
            for (const RewriteStage stage : p.stages) {
                SCOPED_TRACE(std::string(log.label) + (p.inPlace ? " in place" : " replaced") + ", stage "
                             + std::to_string(static_cast<int>(stage)));
                const std::string file = tmp.file("log/") + log.name;
                ::unlink(tmp.file("log/second").c_str());
                writeFile(file, log.bytes);
                if (p.inPlace) {
                    ASSERT_EQ(::link(file.c_str(), tmp.file("log/second").c_str()), 0);
                }
                auto t = open(tmp.file("log/"), log.name);
                const int logger = ::open(file.c_str(), O_WRONLY | O_APPEND);
                bool appended = false;
                logtable::setRewriteHookForTests([&](RewriteStage s) {
                    if (s == stage && !appended) {
                        appended = true;
                        appendThrough(logger, log.appended);
                    }
                });
                writeValue(*t, 0, log.field, log.after);
                ::close(logger);
                EXPECT_TRUE(appended);
                EXPECT_EQ(readFile(file), once + log.appended);
                // The carried contact stays through the next write of the same open table.
                logtable::setRewriteHookForTests(nullptr);
                writeValue(*t, 3, log.field, log.after);
                EXPECT_EQ(readFile(file), twice + log.appended);
                struct stat st
                {
                };
                ::stat(file.c_str(), &st);
                EXPECT_EQ(st.st_nlink, p.inPlace ? 2u : 1u);
                EXPECT_EQ(filesIn(journals()), std::vector<std::string>{});
            }
        }
    }
}

// Any other change by another program during the write stops it: the file keeps that program's bytes, no mark is
// reported written, and nothing is left behind.
TEST_F(WriteSafety, OtherChangeDuringTheWriteStopsItWithNothingLost)
{
    for (const Log& log : logs(5)) {
        for (const auto& [inPlace, stage] :
             {std::pair{false, RewriteStage::Copied}, std::pair{false, RewriteStage::Synced},
              std::pair{true, RewriteStage::Copied}, std::pair{true, RewriteStage::Journaled}}) {
            SCOPED_TRACE(std::string(log.label) + (inPlace ? " in place" : " replaced"));
            ::unlink(tmp.file("log/log.csv").c_str());
            const std::string file = tmp.file("log/") + log.name;
            ::unlink(tmp.file("log/second").c_str());
            writeFile(file, log.bytes);
            if (inPlace) {
                ASSERT_EQ(::link(file.c_str(), tmp.file("log/second").c_str()), 0);
            }
            auto t = open(tmp.file("log/"), log.name);
            std::string changed = log.bytes;
            changed[changed.size() / 2] = changed[changed.size() / 2] == 'Q' ? 'R' : 'Q';
            logtable::setRewriteHookForTests([&](RewriteStage s) {
                if (s == stage) {
                    inAnotherProcess([&] {
                        const int fd = ::open(file.c_str(), O_WRONLY);
                        const bool ok = ::pwrite(fd, changed.data() + changed.size() / 2, 1,
                                                 static_cast<off_t>(changed.size() / 2))
                            == 1;
                        ::_exit(ok ? 0 : 1);
                    });
                }
            });
            try {
                writeValue(*t, 0, log.field, log.after);
                ADD_FAILURE() << "the write went on";
            } catch (const KelboError& e) {
                EXPECT_NE(std::string(e.what()).find("ほかのプログラムが変更しました"), std::string::npos) << e.what();
            }
            EXPECT_EQ(readFile(file), changed);
            const std::vector<std::string> names
                = inPlace ? std::vector<std::string>{log.name, "second"} : std::vector<std::string>{log.name};
            EXPECT_EQ(filesIn(tmp.file("log")), names) << "no file of the write is left";
            EXPECT_EQ(filesIn(journals()), std::vector<std::string>{});
        }
    }
}

// A process rewriting a log in place (a file with two names) is killed at random moments, slowed at the stages
// where the file is half written. Opened again (or at the program's start), the log is byte for byte the old or
// the new file, and the operator is told when a write was undone.
TEST_F(WriteSafety, KilledInPlaceRewriteLeavesTheLogWholeOldOrWholeNew)
{
    std::mt19937 random(20261210);
    for (const Log& log : logs(300)) {
        SCOPED_TRACE(log.label);
        const std::string file = tmp.file("log/") + log.name;
        const std::string newBytes = written(log, 0);
        ASSERT_NE(newBytes, log.bytes);
        int tornBeforeOpen = 0;
        int undone = 0;
        for (int run = 0; run < 40; ++run) {
            ::unlink(tmp.file("log/second").c_str());
            writeFile(file, log.bytes);
            ASSERT_EQ(::link(file.c_str(), tmp.file("log/second").c_str()), 0);
            // Every other run the writer dies at a stage where the file is half written (the stale end of a
            // shrinking rewrite not yet cut off) of one of its first writes; otherwise when the time is up.
            const unsigned pause = random() % 4000;
            const int dieAt = run % 2 == 0 ? static_cast<int>(random() % 6) : -1;
            const pid_t pid = ::fork();
            if (pid == 0) {
                int written = 0;
                logtable::setRewriteHookForTests([pause, dieAt, &written](RewriteStage s) {
                    if (s == RewriteStage::Written && written++ == dieAt) {
                        ::kill(::getpid(), SIGKILL);
                    }
                    if (s == RewriteStage::Journaled || s == RewriteStage::Written) {
                        ::usleep(pause);
                    }
                });
                try {
                    for (int k = 0;; ++k) {
                        writeValue(*open(tmp.file("log/"), log.name), 0, log.field,
                                   k % 2 == 0 ? log.after : log.before);
                    }
                } catch (...) {
                }
                ::_exit(3);
            }
            if (dieAt < 0) {
                ::usleep(1000 + random() % 30000);
                ::kill(pid, SIGKILL);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;

            const std::string left = readFile(file);
            const bool torn = left != log.bytes && left != newBytes;
            tornBeforeOpen += torn;
            std::string told;
            if (run % 4 < 2) {
                told = open(tmp.file("log/"), log.name)->ReadNote();
            } else {
                for (const std::string& note : logtable::recoverAllJournals()) {
                    told += note;
                }
            }
            const std::string after = readFile(file);
            EXPECT_TRUE(after == log.bytes || after == newBytes) << "run " << run << ": " << after.size() << " bytes";
            EXPECT_EQ(readFile(tmp.file("log/second")), after);
            if (torn) {
                EXPECT_NE(told.find("途中で止まっていた"), std::string::npos) << told;
            }
            undone += !told.empty();
            EXPECT_EQ(filesIn(journals()), std::vector<std::string>{});
        }
        std::printf("%s: %d of 40 kills left the file torn before it was opened again; %d writes undone or "
                    "finished\n",
                    log.label, tornBeforeOpen, undone);
        EXPECT_GT(tornBeforeOpen, 0) << "no kill landed inside a write";
    }
}

} // namespace
