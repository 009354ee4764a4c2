// The card program's settings file over arbitrary bytes: reading never crashes and always gives usable settings.
#include "CardSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kelbo-cardprinter.ini"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    f.close();
    const CardSettings s = loadCardSettings(path);
    if (s.nextCardNumber < 1 || !CardSettings::dateFormats().contains(s.dateFormat) || s.domesticDesign.isEmpty()
        || s.foreignDesign.isEmpty()) {
        std::abort();
    }
    // A correction read back is one a printer may be given: a damaged value is none.
    for (const auto& [printer, c] : s.calibrations) {
        if (printer.isEmpty() || std::abs(c.x) > kMaxCalibrationOffset || std::abs(c.y) > kMaxCalibrationOffset
            || !(c.scale >= kMinCalibrationScale && c.scale <= kMaxCalibrationScale) || c.isNone()) {
            std::abort();
        }
    }
    return 0;
}
