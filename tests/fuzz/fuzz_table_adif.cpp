// ADIF engine: the input is a log; it opens with an error or reads to the end without a fault or a hang. A log
// read without damage then takes the send mark in its first record, and reads back with the mark and with as
// many records as before.
#include "FuzzTableFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzztable::put("t.adi", input);
    fuzztable::openAndReadEverything("t.adi");

    auto table = createLogTable();
    table->OpenTable(fuzztable::folder(), "t.adi");
    const long records = table->RecordCount();
    if (records == 0 || !table->ReadNote().empty()) {
        return 0;
    }
    int sent = -1;
    for (int f = 0; f < table->FieldCount(); ++f) {
        if (table->FieldName(f) == "QSL_SENT") {
            sent = f;
        }
    }
    if (sent < 0) {
        std::abort();
    }
    table->MoveFirst();
    table->EditRecord();
    table->SetFieldText(sent, "Y");
    table->CloseTable();
    table->OpenTable(fuzztable::folder(), "t.adi");
    if (table->RecordCount() != records || table->FieldText(sent) != "Y") {
        std::abort();
    }
    return 0;
}
