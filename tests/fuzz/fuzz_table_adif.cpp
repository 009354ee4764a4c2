// ADIF engine: the input is a log; it opens with an error or reads to the end without a fault or a hang. A log
// read without damage then takes the send mark in its first record and reads back, in the open table and opened
// again, with the same fields in the same order and every value as it was, but for that mark; or the mark is
// refused and the file keeps every byte.
#include "FuzzTableFile.h"

#include <cstdint>
#include <vector>

namespace {

using Cells = std::vector<std::vector<std::string>>;

Cells readAll(LogTable& table, std::vector<std::string>& names)
{
    names.clear();
    for (int f = 0; f < table.FieldCount(); ++f) {
        names.push_back(table.FieldName(f));
    }
    Cells cells;
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
        cells.emplace_back();
        for (int f = 0; f < table.FieldCount(); ++f) {
            cells.back().push_back(table.FieldText(f));
        }
    }
    return cells;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzztable::put("t.adi", input);
    fuzztable::openAndReadEverything("t.adi");

    auto table = createLogTable();
    table->OpenTable(fuzztable::folder(), "t.adi");
    if (table->RecordCount() == 0 || !table->ReadNote().empty()) {
        return 0;
    }
    std::vector<std::string> names;
    Cells expected = readAll(*table, names);
    const int sent = table->FieldCount() - 2;
    if (sent < 0 || names[static_cast<std::size_t>(sent)] != "QSL_SENT") {
        std::abort();
    }
    table->MoveFirst();
    table->EditRecord();
    try {
        table->SetFieldText(sent, "Y");
        table->Post();
        expected[0][static_cast<std::size_t>(sent)] = "Y";
    } catch (const KelboError&) {
        if (fuzztable::get("t.adi") != input) {
            std::abort();
        }
    }
    std::vector<std::string> namesOpen;
    if (readAll(*table, namesOpen) != expected || namesOpen != names) {
        std::abort();
    }
    table->CloseTable();

    table->OpenTable(fuzztable::folder(), "t.adi");
    std::vector<std::string> namesAfter;
    if (readAll(*table, namesAfter) != expected || namesAfter != names) {
        std::abort();
    }
    return 0;
}
