#include "CardCheck.h"

#include <QRegularExpression>

QString contactProblem(const Contact& c)
{
    if (!c.ok) {
        return QStringLiteral("行の形式が正しくありません");
    }
    if (!c.date.isValid()) {
        return c.dateText.trimmed().isEmpty() ? QStringLiteral("日付がありません")
                                              : QStringLiteral("日付「%1」が正しくありません").arg(c.dateText);
    }
    static const QRegularExpression hhmm(QStringLiteral(R"(^([01]\d|2[0-3])[0-5]\d$)"));
    if (!hhmm.match(c.time).hasMatch()) {
        return c.time.trimmed().isEmpty() ? QStringLiteral("時刻がありません")
                                          : QStringLiteral("時刻「%1」が正しくありません").arg(c.time);
    }
    // Letters, digits and strokes, with a digit and a letter: JA1ZQX, 7K1XYZ/3, DL/JA1ABC.
    static const QRegularExpression call(QStringLiteral(R"(^(?=.*\d)(?=.*[A-Z])[A-Z0-9]+(/[A-Z0-9]+)*$)"),
                                         QRegularExpression::CaseInsensitiveOption);
    if (!call.match(c.call).hasMatch()) {
        return c.call.isEmpty() ? QStringLiteral("コールサインがありません")
                                : QStringLiteral("コールサイン「%1」が正しくありません").arg(c.call);
    }
    if (!c.freq.isEmpty()) {
        bool ok = false;
        const double mhz = c.freq.toDouble(&ok);
        // From the 2200 m band to the highest millimetre band.
        if (!ok || mhz < 0.1357 || mhz > 300000) {
            return QStringLiteral("周波数「%1」が正しくありません").arg(c.freq);
        }
    }
    return QString();
}
