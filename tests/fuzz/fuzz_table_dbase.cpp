// dBASE engine: any bytes as a .dbf file open with an error or read to the end without a fault.
#include "FuzzTableFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzztable::put("t.dbf", std::string_view(reinterpret_cast<const char*>(data), size));
    fuzztable::openAndReadEverything("t.dbf");
    return 0;
}
