#include "BureauOrder.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

/** The part of a call with slashes that names the station: a prefix ending in a digit and a suffix of letters. */
QString homeCall(const QString& call)
{
    static const QRegularExpression station(QStringLiteral(R"(^[A-Z0-9]*[0-9][A-Z]+$)"));
    QString best;
    for (const QString& part : call.split(QLatin1Char('/'))) {
        if (station.match(part).hasMatch() && part.size() > best.size()) {
            best = part;
        }
    }
    return best;
}

} // namespace

QString bureauKey(const QString& call)
{
    const QString upper = call.trimmed().toUpper();
    const QString home = homeCall(upper);
    if (home.isEmpty()) {
        return QStringLiteral("3 ") + upper;
    }
    static const QRegularExpression split(QStringLiteral(R"(^([A-Z0-9]*[0-9])([A-Z]+)$)"));
    const QRegularExpressionMatch m = split.match(home);
    const QString prefix = m.captured(1);
    const QString suffix = m.captured(2);
    static const QRegularExpression japan(QStringLiteral(R"(^(J[A-S]|7[J-N]|8[J-N])[0-9]$)"));
    if (japan.match(prefix).hasMatch()) {
        // Area 0 comes after 9.
        const QChar area = prefix.back() == QLatin1Char('0') ? QLatin1Char(':') : prefix.back();
        return QStringLiteral("1 %1 %2 %3 %4").arg(area).arg(suffix, prefix, upper);
    }
    return QStringLiteral("2 %1 %2 %3").arg(prefix, suffix, upper);
}
