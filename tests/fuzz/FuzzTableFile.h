#ifndef KELBO_TESTS_FUZZ_FUZZTABLEFILE_H
#define KELBO_TESTS_FUZZ_FUZZTABLEFILE_H

// Shared by the table fuzz targets: the input becomes a table file in a private folder, which is opened
// and read to its end. An open that fails must fail with KelboError and leave the table closed.
#include "common/CodePage.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "logtable/LogTable.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

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

/** Every text an engine hands on is well-formed CP932 without an undefined code: a character CP932 cannot hold
 * became '?'. What it shows a person is well-formed UTF-8. */
inline void requireCp932(const std::string& text)
{
    if (!codepage::isWellFormedCp932(text)) {
        std::abort();
    }
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
        requireCp932(table->FieldName(f));
        if (!cp932::isValidUtf8(table->FieldNameUtf8(f))) {
            std::abort();
        }
    }
    long walked = 0;
    for (table->MoveFirst(); !table->AtEnd(); table->MoveNext()) {
        for (int f = 0; f < table->FieldCount(); ++f) {
            requireCp932(table->FieldText(f));
        }
        if (walked < 4) {
            std::vector<std::string> shown;
            table->RecordUtf8(walked, shown);
            for (const std::string& text : shown) {
                if (!cp932::isValidUtf8(text)) {
                    std::abort();
                }
            }
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
