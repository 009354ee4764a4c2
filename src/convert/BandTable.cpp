#include "convert/BandTable.h"

#include "common/CNumber.h"
#include "common/Cp932.h"

#include <cstdint>

namespace {
struct Band
{
    std::uint32_t metres;
    std::string_view mhz;
};
constexpr Band kBands[] = {
    {2, "144"}, {6, "50"},  {10, "28"}, {12, "24"},  {15, "21"},  {17, "18"},
    {20, "14"}, {30, "10"}, {40, "7"},  {75, "3.8"}, {80, "3.5"}, {160, "1.8"},
};
} // namespace

std::string_view BandTable(std::string_view band)
{
    if (cp932::equalsNoCase(band, "SAT")) {
        return "SAT";
    }
    std::uint32_t metres = 0;
    if (!cnum::readUnsigned(band, metres)) {
        return "";
    }
    for (const Band& b : kBands) {
        if (b.metres == metres) {
            return b.mhz;
        }
    }
    return "";
}
