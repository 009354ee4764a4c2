// Template walk over arbitrary (template, text) pairs: the input is split at its first NUL byte into the
// template and the field text (without a NUL, both are the whole input). Each part gets a buffer of its own
// exact size, so a read past either end is caught.
#include "convert/FieldTemplate.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

template <std::size_t N> void checkTerminated(const char (&member)[N])
{
    if (std::memchr(member, '\0', N) == nullptr) {
        std::abort();
    }
}

std::unique_ptr<char[]> copyOf(const std::uint8_t* data, std::size_t size)
{
    auto buf = std::make_unique<char[]>(size);
    if (size > 0) {
        std::memcpy(buf.get(), data, size);
    }
    return buf;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const void* nul = std::memchr(data, 0, size);
    const std::size_t templSize = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data) : size;
    const std::uint8_t* textData = nul ? data + templSize + 1 : data;
    const std::size_t textSize = nul ? size - templSize - 1 : size;

    const auto templ = copyOf(data, templSize);
    const auto text = copyOf(textData, textSize);
    const std::string_view t(templ.get(), templSize);
    const std::string_view x(text.get(), textSize);

    for (const int initial : {0, 1}) {
        CardRecord record;
        const int flag = FieldTemplate(initial, record, t, x);
        if (flag != 0 && flag != 1) {
            std::abort();
        }
        if (initial == 1 && flag != 1) {
            std::abort(); // templates only ever set the flag
        }
        checkTerminated(record.Call);
        checkTerminated(record.Rst);
        checkTerminated(record.Mode);
        checkTerminated(record.Freq);
        checkTerminated(record.Power);
        checkTerminated(record.Name);
        checkTerminated(record.Qth);
        checkTerminated(record.Qsl);
    }
    return 0;
}
