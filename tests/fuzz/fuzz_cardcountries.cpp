// The country file over arbitrary bytes: reading never crashes; a file taken has entities whose bundles are entities,
// and every call looked up in it, with or without slashes, finds an entity of the file or none.
#include "BureauOrder.h"
#include "CountryFile.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CountryFile file;
    QString error;
    const bool ok = file.parse(bytes, &error);
    if (!ok && error.isEmpty()) {
        std::abort();
    }
    if (ok == file.isEmpty()) {
        std::abort();
    }
    for (int i = 0; i < file.entityCount(); ++i) {
        const int bundle = file.entity(i).bundle;
        if (bundle < 0 || bundle >= file.entityCount()) {
            std::abort();
        }
    }
    const BureauOrder order(file);
    // Calls made of the file's own text: its words, and its words with slashes between.
    const QList<QByteArray> words = bytes.left(4096).split(',');
    for (qsizetype i = 0; i < words.size() && i < 64; ++i) {
        const QString call = QString::fromLatin1(words[i]).trimmed();
        const int e = file.lookup(call.toUpper());
        if (e < -1 || e >= file.entityCount()) {
            std::abort();
        }
        const QString other = i + 1 < words.size() ? QString::fromLatin1(words[i + 1]).trimmed() : QString();
        const BureauPlace p = order.place(call + QLatin1Char('/') + other, other);
        if (p.key.isEmpty()) {
            std::abort();
        }
        (void)order.inJapan(other + QLatin1Char('/') + call);
        (void)order.locationName(call + QStringLiteral("/3"));
    }
    return 0;
}
