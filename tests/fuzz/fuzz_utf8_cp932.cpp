// UTF-8 to CP932, as a UTF-8 text table's values reach the program: whatever the bytes, the result holds only
// whole CP932 characters, ASCII comes through in place, and text that CP932 holds wholly comes back unchanged.
#include "common/Cp932.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool wholeCp932(std::string_view s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) {
            continue;
        }
        if (!cp932::isLeadByte(c) || i + 1 == s.size()) {
            return false;
        }
        const auto t = static_cast<unsigned char>(s[++i]);
        if (t < 0x40 || t == 0x7F || t > 0xFC) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string out = cp932::fromUtf8(input);
    if (!wholeCp932(out)) {
        std::abort(); // a broken character
    }
    if (out.find("\xFC\xFC") != std::string::npos) {
        std::abort(); // a converter's substitute character instead of '?'
    }
    std::size_t asciiIn = 0, asciiOut = 0;
    for (const char c : input) {
        asciiIn += static_cast<unsigned char>(c) < 0x80 && c != '?';
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (cp932::isLeadByte(c)) {
            ++i;
        } else {
            asciiOut += c < 0x80 && c != '?';
        }
    }
    if (asciiIn != asciiOut) {
        std::abort(); // ASCII lost or made up (only '?' stands for what CP932 cannot hold)
    }
    if (cp932::isValidUtf8(input) && out.find('?') == std::string::npos) {
        if (cp932::fromUtf8(cp932::toUtf8(out)) != out) {
            std::abort(); // no round trip for text CP932 holds
        }
    }
    return 0;
}
