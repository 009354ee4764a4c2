// The card program's reading of a card line over arbitrary text: never crashes, a line it takes has its 13 fields,
// the QSL text taken apart never grows, and the bureau's place, the route, the card's UTC time and the band of any
// text are computed without fault.
#include "BureauOrder.h"
#include "CardCheck.h"
#include "CardTime.h"
#include "Contact.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList fields = splitCardLine(line);
    if (!fields.isEmpty() && fields.size() != 13) {
        std::abort();
    }
    const Contact c = parseContact(line);
    if (c.ok != !fields.isEmpty()) {
        std::abort();
    }
    const QslText q = splitQslText(c.ok ? c.qsl : line);
    if (q.remarks.size() + q.via.size() > (c.ok ? c.qsl : line).size() + 1) {
        std::abort();
    }
    (void)bureauKey(c.ok ? c.call : line);
    if (BureauOrder().place(c.ok ? c.call : line, q.via).key.isEmpty()) {
        std::abort();
    }
    (void)leftOutReason(c);
    const CardTime t = cardTime(c.date, c.time, true);
    if (t.zone == QLatin1String("UTC") && t.time.size() != 5) {
        std::abort();
    }
    (void)bandOf(line.left(20));
    (void)formatTime(c.time);
    // A line that is not a line is never found fit for a card.
    if (!c.ok && contactProblem(c).isEmpty()) {
        std::abort();
    }
    return 0;
}
