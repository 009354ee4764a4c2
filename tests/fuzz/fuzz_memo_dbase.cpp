// dBASE and FoxPro memo files: any bytes as a .dbt or .fpt give a reason for refusing the file or, for any block
// number, a text or "damaged", without a fault. The first byte picks the kind, the next eight four block numbers.
#include "common/KelboError.h"
#include "logtable/MemoFile.h"

#include "FuzzTableFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 9) {
        return 0;
    }
    using Kind = logtable::DbaseMemoFile::Kind;
    const Kind kinds[] = {Kind::Dbase3, Kind::Dbase4, Kind::FoxPro};
    const Kind kind = kinds[data[0] % 3];
    fuzztable::put("m.dbt", std::string_view(reinterpret_cast<const char*>(data) + 9, size - 9));
    std::unique_ptr<logtable::DbaseMemoFile> memo;
    try {
        memo = logtable::DbaseMemoFile::open(fuzztable::folder() + "m.dbt", kind);
    } catch (const KelboError&) {
        return 0;
    }
    for (int i = 0; i < 4; ++i) {
        memo->read(static_cast<std::uint32_t>(data[1 + 2 * i] | data[2 + 2 * i] << 8));
    }
    for (std::uint32_t block = 0; block < 16; ++block) {
        memo->read(block);
    }
    memo->read(0xFFFFFFFFu);
    return 0;
}
