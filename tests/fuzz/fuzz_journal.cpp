// The journal of an interrupted in-place write, as read at the next open: the input is a journal's text (its
// closing sum is added here, "@dev" and "@ino" stand for the log's own device and inode, so that the roll-back
// itself is reached). Whatever the journal says, the roll-back stays inside the log file: it never grows the file
// beyond the journal's old bytes and what the file held, and a journal that does not fit leaves the log as it was.
#include "common/KelboError.h"
#include "logtable/WriteJournal.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string& folder()
{
    static const std::string dir = [] {
        char pattern[] = "/tmp/kelbo-fuzz-journal-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made) {
            std::abort();
        }
        ::setenv("XDG_STATE_HOME", made, 1);
        return std::string(made);
    }();
    return dir;
}

void put(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 8192) {
        return 0;
    }
    const std::string log = folder() + "/log.csv";
    const std::string original = "CALL,SEND\r\nJA1AA,\"\"\r\nJA2BB,\"F\"\r\n";
    put(log, original);
    struct stat st
    {
    };
    if (::stat(log.c_str(), &st) != 0) {
        std::abort();
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    replaceAll(text, "@dev", std::to_string(static_cast<std::uint64_t>(st.st_dev)));
    replaceAll(text, "@ino", std::to_string(static_cast<std::uint64_t>(st.st_ino)));
    logtable::ContentHash sum;
    sum.feed(text);
    char tail[40];
    std::snprintf(tail, sizeof tail, "\nsum %016" PRIx64 "\n", sum.value());
    ::mkdir((folder() + "/KELBO").c_str(), 0700);
    const std::string journal = folder() + "/KELBO/" + std::to_string(static_cast<std::uint64_t>(st.st_dev)) + "-"
        + std::to_string(static_cast<std::uint64_t>(st.st_ino)) + ".journal";
    put(journal, text + tail);
    std::string note;
    try {
        note = logtable::recoverTable(log);
    } catch (const KelboError&) {
    }
    const std::string after = slurp(log);
    // The roll-back writes the journal's old bytes and keeps what lay beyond: never more than both together.
    if (after.size() > original.size() + text.size()) {
        std::abort();
    }
    if (note.find("戻しました") == std::string::npos && note.find("終わっていました") == std::string::npos
        && after != original) {
        std::abort(); // a journal that was not used changed the log
    }
    ::unlink(journal.c_str());
    ::unlink((journal + ".unused").c_str());
    return 0;
}
