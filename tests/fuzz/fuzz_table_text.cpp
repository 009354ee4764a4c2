// Text engine: the input is a table, or a schema and a table split at the first NUL byte; either way the
// table opens with an error or reads to the end without a fault.
#include "FuzzTableFile.h"

#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    if (split == std::string_view::npos) {
        ::unlink((fuzztable::folder() + "t.sch").c_str());
        fuzztable::put("t.txt", input);
    } else {
        fuzztable::put("t.sch", input.substr(0, split));
        fuzztable::put("t.txt", input.substr(split + 1));
    }
    fuzztable::openAndReadEverything("t.txt");
    return 0;
}
