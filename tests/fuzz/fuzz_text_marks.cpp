// Text engine write path: the input is the body of a table (random, damaged rows) under a fixed header line.
// Each record whose SEND is empty gets the mark "F", one post at a time. After every post the file may differ
// from before only in one stretch inside that record, where nothing but the mark's bytes (and the separators of
// a short record) came in; re-read, every record keeps its other values and SEND reads "F". A refused post
// changes no byte.
#include "FuzzTableFile.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

constexpr int kSend = 3;

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::vector<std::string>> readAll(const std::string& name)
{
    auto table = createLogTable();
    table->OpenTable(fuzztable::folder(), name);
    std::vector<std::vector<std::string>> rows;
    for (long r = 0; r < table->RecordCount(); ++r) {
        std::vector<std::string> row;
        for (int f = 0; f < table->FieldCount(); ++f) {
            row.push_back(table->CellText(r, f));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096) {
        return 0;
    }
    const std::string path = fuzztable::folder() + "m.csv";
    fuzztable::put("m.csv", "CALL,NAME,RECV,SEND,REM\r\n" + std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::vector<std::string>> expected;
    try {
        expected = readAll("m.csv");
    } catch (const KelboError&) {
        return 0;
    }
    auto table = createLogTable();
    table->OpenTable(fuzztable::folder(), "m.csv");
    for (long row = 0; row < static_cast<long>(expected.size()) && row < 64; ++row) {
        if (!expected[static_cast<std::size_t>(row)][kSend].empty()) {
            continue;
        }
        const std::string before = slurp(path);
        table->MoveTo(row);
        table->EditRecord();
        table->SetFieldText(kSend, "F");
        try {
            table->Post();
        } catch (const KelboError&) {
            if (slurp(path) != before) {
                std::abort(); // a refused write changed the file
            }
            table->CloseTable();
            table->OpenTable(fuzztable::folder(), "m.csv");
            continue;
        }
        const std::string after = slurp(path);
        std::size_t head = 0;
        while (head < before.size() && head < after.size() && before[head] == after[head]) {
            ++head;
        }
        std::size_t tail = 0;
        while (tail < before.size() - head && tail < after.size() - head
               && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
            ++tail;
        }
        for (std::size_t i = head; i < after.size() - tail; ++i) {
            if (after[i] != '"' && after[i] != 'F' && after[i] != ',') {
                std::abort(); // bytes other than the mark came in
            }
        }
        for (std::size_t i = head; i < before.size() - tail; ++i) {
            if (before[i] != '"' && before[i] != ' ' && before[i] != '\t' && before[i] != '\0') {
                std::abort(); // more than an old empty SEND went away
            }
        }
        expected[static_cast<std::size_t>(row)][kSend] = "F";
        if (readAll("m.csv") != expected) {
            std::abort(); // the mark is not where KELBO reads SEND, or another value changed
        }
    }
    return 0;
}
