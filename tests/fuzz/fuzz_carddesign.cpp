// Card design files over arbitrary bytes: reading never crashes, and a design that is read is written so that it
// reads back the same.
#include "CardDesign.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CardDesign design;
    QString error;
    if (!parseCardDesign(bytes, design, &error, QStringLiteral("fuzz.json"))) {
        if (error.isEmpty()) {
            std::abort(); // a refusal always says why
        }
        return 0;
    }
    if (!checkCardDesign(design, nullptr)) {
        std::abort(); // what was read may be printed
    }
    CardDesign back;
    if (!parseCardDesign(cardDesignJson(design), back, &error, QStringLiteral("fuzz.json")) || back != design) {
        std::abort();
    }
    return 0;
}
