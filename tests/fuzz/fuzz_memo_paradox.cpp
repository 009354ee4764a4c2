// Paradox memo files: any bytes as a .MB give a reason for refusing the file or, for any memo pointer, the memo's
// bytes or "damaged", without a fault. The first ten bytes are one pointer; every block's memos are tried too,
// and each memo read is also taken apart as a formatted memo.
#include "common/KelboError.h"
#include "logtable/MemoFile.h"

#include "FuzzTableFile.h"

#include <cstdint>
#include <cstring>

namespace {

void tryPointer(const logtable::ParadoxMemoFile& memo, std::uint32_t offset, std::uint32_t length)
{
    unsigned char pointer[10] = {};
    for (int i = 0; i < 4; ++i) {
        pointer[i] = static_cast<unsigned char>(offset >> (8 * i));
        pointer[4 + i] = static_cast<unsigned char>(length >> (8 * i));
    }
    if (const auto bytes = memo.read(pointer)) {
        logtable::formattedMemoText(*bytes);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 10) {
        return 0;
    }
    const std::string_view file(reinterpret_cast<const char*>(data) + 10, size - 10);
    fuzztable::put("m.mb", file);
    std::unique_ptr<logtable::ParadoxMemoFile> memo;
    try {
        memo = logtable::ParadoxMemoFile::open(fuzztable::folder() + "m.mb");
    } catch (const KelboError&) {
        return 0;
    }
    if (const auto bytes = memo->read(data)) {
        logtable::formattedMemoText(*bytes);
    }
    // Every memo the file's blocks claim to hold, with the length they give.
    for (std::size_t block = 4096; block + 12 <= file.size() && block <= 16 * 4096; block += 4096) {
        const auto* b = reinterpret_cast<const unsigned char*>(file.data()) + block;
        std::uint32_t length = 0;
        std::memcpy(&length, b + 3, 4);
        tryPointer(*memo, static_cast<std::uint32_t>(block) | 0xFF, length);
        for (unsigned index = 0; index < 64 && block + 12 + 5 * index + 5 <= file.size(); ++index) {
            const unsigned char* entry = b + 12 + 5 * index;
            const std::uint32_t paragraphs = entry[1];
            const std::uint32_t guess
                = paragraphs == 0 ? 0 : (paragraphs - 1) * 16 + (entry[4] % 16 ? entry[4] % 16 : 16);
            tryPointer(*memo, static_cast<std::uint32_t>(block) | index, guess);
        }
    }
    return 0;
}
