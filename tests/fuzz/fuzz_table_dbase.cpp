// dBASE engine: any bytes as a .dbf file open with an error or read to the end without a fault. A small memo file
// lies beside it, so that memo fields are read through the engine too.
#include "FuzzTableFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool memo = [] {
        // Header block, a dBASE IV memo in block 1, a dBASE III memo in block 2.
        std::string dbt(512, '\0');
        dbt[0] = 3;
        dbt += std::string("\xFF\xFF\x08\x00\x0D\x00\x00\x00QSL", 11) + std::string(501, '\0');
        dbt += "TNX QSO\x1A\x1A";
        fuzztable::put("t.dbt", dbt);
        return true;
    }();
    static_cast<void>(memo);
    fuzztable::put("t.dbf", std::string_view(reinterpret_cast<const char*>(data), size));
    fuzztable::openAndReadEverything("t.dbf");
    return 0;
}
