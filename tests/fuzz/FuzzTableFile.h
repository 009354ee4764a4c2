#ifndef KELBO_TESTS_FUZZ_FUZZTABLEFILE_H
#define KELBO_TESTS_FUZZ_FUZZTABLEFILE_H

// Shared by the table fuzz targets: the input becomes a table file in a private folder, which is opened
// and read to its end. An open that fails must fail with KelboError and leave the table closed.
#include "common/KelboError.h"
#include "logtable/LogTable.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fuzztable {

inline const std::string& folder()
{
    static const std::string dir = [] {
        char pattern[] = "/tmp/kelbo-fuzz-table-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made) {
            std::abort();
        }
        return std::string(made) + "/";
    }();
    return dir;
}

inline void put(const std::string& name, std::string_view bytes)
{
    FILE* f = std::fopen((folder() + name).c_str(), "wb");
    if (!f) {
        std::abort();
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline std::string get(const std::string& name)
{
    std::string bytes;
    FILE* f = std::fopen((folder() + name).c_str(), "rb");
    if (!f) {
        std::abort();
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        bytes.append(buffer, n);
    }
    std::fclose(f);
    return bytes;
}

inline void openAndReadEverything(const std::string& name)
{
    auto table = createLogTable();
    try {
        table->OpenTable(folder(), name);
    } catch (const KelboError&) {
        if (table->IsOpen()) {
            std::abort();
        }
        return;
    }
    for (int f = 0; f < table->FieldCount(); ++f) {
        table->FieldName(f);
    }
    long walked = 0;
    for (table->MoveFirst(); !table->AtEnd(); table->MoveNext()) {
        for (int f = 0; f < table->FieldCount(); ++f) {
            table->FieldText(f);
        }
        ++walked;
    }
    if (walked != table->RecordCount()) {
        std::abort();
    }
    table->MoveBy(-walked / 2);
    table->CellText(walked - 1, 0);
    table->CloseTable();
}

} // namespace fuzztable

#endif
