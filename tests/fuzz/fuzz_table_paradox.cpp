// Paradox engine: any bytes as a .db file open with an error or read to the end without a fault. A small memo file
// lies beside it, so that memo fields are read through the engine too.
#include "FuzzTableFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool memo = [] {
        // Header block; a shared block whose memo 63 (555 bytes) is the one the corpus's memo.db points to; a
        // block of its own holding one memo of 3 bytes.
        std::string mb(4096, '\0');
        std::string shared(4096, '\0');
        shared.replace(0, 3, std::string("\x03\x01\x00", 3));
        shared.replace(12 + 63 * 5, 5, std::string("\x15\x23\x01\x00\x0B", 5));
        shared.replace(0x150, 555, std::string(555, 'Q'));
        std::string own(4096, '\0');
        own.replace(0, 12, std::string("\x02\x01\x00\x03\x00\x00\x00\x01\x00QSL", 12));
        fuzztable::put("t.mb", mb + shared + own);
        return true;
    }();
    static_cast<void>(memo);
    fuzztable::put("t.db", std::string_view(reinterpret_cast<const char*>(data), size));
    fuzztable::openAndReadEverything("t.db");
    return 0;
}
