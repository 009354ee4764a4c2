// Definition files and the guess over arbitrary bytes: loading never crashes, what was loaded saves and loads
// back the same, and the guess always gives 64 expressions without "?".
#include "convdef/ConvDefFile.h"
#include "convert/ConvDefTable.h"
#include "convdef/Guess.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    ConvDefTable t = NullConvDefTable();
    LoadConvDefText(content, t);

    ConvDefTable back = NullConvDefTable();
    LoadConvDefText(ConvDefFileText(t), back);
    for (std::size_t i = 0; i < t.size(); ++i) {
        // Longer lines are split into pieces by design.
        const std::size_t lineBytes = 5 + std::to_string(i + 1).size() + 1 + t[i].size() + 1;
        if (lineBytes <= kConvDefPieceBytes && back[i] != t[i]) {
            std::abort();
        }
    }

    // Fields as "name=value" lines; each line is also tried as a pattern against the next one.
    std::vector<std::string> names;
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start <= content.size()) {
        auto end = content.find('\n', start);
        if (end == std::string_view::npos) {
            end = content.size();
        }
        const std::string_view line = content.substr(start, end - start);
        const auto eq = line.find('=');
        names.emplace_back(line.substr(0, eq));
        values.emplace_back(eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1));
        if (names.size() >= 2) {
            (void)MatchValuePattern(values.back(), names[names.size() - 2]);
        }
        start = end + 1;
    }
    for (const auto& e : GuessConvDef(names, values)) {
        if (e == "?") {
            std::abort();
        }
    }
    return 0;
}
