// ConvertField over (expression, field text) pairs, then the time shift and the card line: no crash, no
// read or write out of bounds, and every member stays zero-terminated within its capacity.
// Input: one byte n, then n mod 64 bytes of expression, then the field text; a second record field follows
// nothing, so the expression may be any keyword, bracket form or template.
#include "cardlink/CardLogLine.h"
#include "convert/ConvertRecord.h"
#include "convert/DateTime.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

template <std::size_t N> void checkTerminated(const char (&member)[N])
{
    if (std::memchr(member, '\0', N) == nullptr) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t exprLength = data[0] % 64 < size - 1 ? data[0] % 64 : size - 1;
    const std::string_view expr(reinterpret_cast<const char*>(data + 1), exprLength);
    const std::string_view text(reinterpret_cast<const char*>(data + 1 + exprLength), size - 1 - exprLength);

    CardRecord record;
    int flag = ConvertField(data[0] & 0x80 ? 1 : 0, record, expr, text);
    // A second pass over the filled record exercises the joins and appends (CALL, ADDQSL, brackets).
    flag = ConvertField(flag, record, expr, text);
    if (flag != 0 && flag != 1) {
        std::abort();
    }
    checkTerminated(record.Call);
    checkTerminated(record.Rst);
    checkTerminated(record.Mode);
    checkTerminated(record.Freq);
    checkTerminated(record.Power);
    checkTerminated(record.Name);
    checkTerminated(record.Qth);
    checkTerminated(record.Qsl);
    ShiftToJst(record);
    const std::string line = BuildCardLogLine(record);
    if (line.size() > 751) {
        std::abort();
    }
    return 0;
}
