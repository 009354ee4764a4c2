#ifndef KELBO_CARDPRINTER_CARDSHEET_H
#define KELBO_CARDPRINTER_CARDSHEET_H

// The drawing rules every printed card and label keeps: text fitted down to a legible size and cut with an ellipsis
// rather than drawn outside its box, call signs with a slashed zero that the PDF's text layer still reads as "0".

#include "CardDesign.h"
#include "CardLayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QString>
#include <algorithm>

/** Whether every character of @p text is Latin-1, what a card abroad can be read in. */
inline bool isLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff) {
            return false;
        }
    }
    return true;
}

/** Draws in millimetres on a card whatever the device's resolution. On a design for foreign stations (@p roman) a
 * text with a character outside Latin-1 is left out whole and what does not fit ends in "..." instead of "…". */
class CardSheet
{
public:
    CardSheet(QPainter& p, double dotsPerMm, bool roman)
        : m_p(p)
        , m_k(dotsPerMm)
        , m_roman(roman)
    {
    }

    QRectF box(double left, double top, double width, double height) const
    {
        return QRectF(left * m_k, top * m_k, width * m_k, height * m_k);
    }
    QRectF box(const QRectF& mm) const { return box(mm.x(), mm.y(), mm.width(), mm.height()); }

    /** @p text as this sheet may print it: "" where a foreign card cannot carry it. */
    QString field(const QString& text) const { return m_roman && !isLatin1(text) ? QString() : text; }

    /** @p text in @p rect at @p points, made smaller (never below kLegiblePoints, nor below two thirds of @p points)
     * until it fits on one line; what still does not fit is cut with an ellipsis at its end. */
    void fitted(const QRectF& rect, const QString& text, double points, bool bold, int align)
    {
        const QString t = field(text);
        if (t.isEmpty()) {
            return;
        }
        QFont f = fittedFont(rect, t, points, bold);
        m_p.setFont(f);
        m_p.drawText(rect, align | Qt::TextSingleLine, elided(QFontMetricsF(f, m_p.device()), t, rect.width()));
    }

    /** A call sign as fitted() draws it; with @p slashedZero each zero gets its stroke (the text stays "0", so that a
     * PDF's text layer still reads the call). Returns the width drawn. */
    double callSign(const QRectF& rect, const QString& text, double points, bool bold, int align, bool slashedZero)
    {
        const QString t = field(text);
        if (t.isEmpty()) {
            return 0;
        }
        const QFont f = fittedFont(rect, t, points, bold);
        const QFontMetricsF fm(f, m_p.device());
        const QString shown = elided(fm, t, rect.width());
        const double w = fm.horizontalAdvance(shown);
        double x = rect.left();
        if (align & Qt::AlignHCenter) {
            x = rect.center().x() - w / 2;
        } else if (align & Qt::AlignRight) {
            x = rect.right() - w;
        }
        double baseline = rect.center().y() + (fm.ascent() - fm.descent()) / 2;
        if (align & Qt::AlignTop) {
            baseline = rect.top() + fm.ascent();
        } else if (align & Qt::AlignBottom) {
            baseline = rect.bottom() - fm.descent();
        }
        m_p.setFont(f);
        m_p.drawText(QPointF(x, baseline), shown);
        if (!slashedZero) {
            return std::min(w, rect.width());
        }
        const double zero = fm.horizontalAdvance(QLatin1Char('0'));
        const QRectF glyph = fm.tightBoundingRect(QStringLiteral("0"));
        m_p.save();
        m_p.setPen(QPen(Qt::black, zero * 0.11, Qt::SolidLine, Qt::FlatCap));
        for (int i = 0; i < shown.size(); ++i) {
            if (shown[i] != QLatin1Char('0')) {
                continue;
            }
            // From the upper right to the lower left of the zero's inside.
            const double left = x + fm.horizontalAdvance(shown.left(i)) + glyph.left();
            m_p.drawLine(QPointF(left + glyph.width() * 0.78, baseline + glyph.top() + glyph.height() * 0.14),
                         QPointF(left + glyph.width() * 0.22, baseline + glyph.bottom() - glyph.height() * 0.14));
        }
        m_p.restore();
        return std::min(w, rect.width());
    }

    QFont fittedFont(const QRectF& rect, const QString& text, double points, bool bold) const
    {
        QFont f = cardFont(points, bold);
        const double least = std::max(kLegiblePoints, points * 2 / 3);
        while (f.pointSizeF() - 0.5 >= least && width(f, text) > rect.width()) {
            f.setPointSizeF(f.pointSizeF() - 0.5);
        }
        return f;
    }

    /** Whether @p text fits in @p room millimetres at @p points. */
    bool fits(const QString& text, double points, double room) const
    {
        return width(cardFont(points, false), text) <= room * m_k;
    }

    /** Word-wrapped @p text in @p rect, made smaller (down to kLegiblePoints) until it fits; what still does not fit
     * is cut with an ellipsis, never drawn outside. */
    void wrapped(const QRectF& rect, const QString& text, double points, int align)
    {
        const QString t = field(text);
        if (t.isEmpty()) {
            return;
        }
        const int flags = align | Qt::TextWordWrap;
        QFont f = cardFont(points, false);
        const auto fits = [&](const QString& s) {
            return QFontMetricsF(f, m_p.device()).boundingRect(rect, flags, s).height() <= rect.height();
        };
        while (f.pointSizeF() - 0.5 >= kLegiblePoints && !fits(t)) {
            f.setPointSizeF(f.pointSizeF() - 0.5);
        }
        QString shown = t;
        if (!fits(shown)) {
            // The longest beginning that fits, with an ellipsis.
            qsizetype lo = 0;
            qsizetype hi = t.size();
            while (lo < hi) {
                const qsizetype mid = (lo + hi + 1) / 2;
                if (fits(t.left(mid).trimmed() + ellipsis())) {
                    lo = mid;
                } else {
                    hi = mid - 1;
                }
            }
            shown = t.left(lo).trimmed() + ellipsis();
        }
        m_p.setFont(f);
        m_p.drawText(rect, flags, shown);
    }

    void line(double x1, double y1, double x2, double y2, double width = 0.2)
    {
        m_p.setPen(QPen(Qt::black, width * m_k));
        m_p.drawLine(QPointF(x1 * m_k, y1 * m_k), QPointF(x2 * m_k, y2 * m_k));
    }

    void frame(const QRectF& r, double width = 0.25)
    {
        m_p.setPen(QPen(Qt::black, width * m_k));
        m_p.setBrush(Qt::NoBrush);
        m_p.drawRect(r);
    }

    double width(const QFont& f, const QString& text) const
    {
        return QFontMetricsF(f, m_p.device()).horizontalAdvance(text);
    }

    void shade(const QRectF& r) { m_p.fillRect(r, QColor(228, 228, 228)); }

    QPainter& painter() { return m_p; }

private:
    QString ellipsis() const { return m_roman ? QStringLiteral("...") : QStringLiteral("…"); }

    QString elided(const QFontMetricsF& fm, const QString& text, double room) const
    {
        if (!m_roman) {
            return fm.elidedText(text, Qt::ElideRight, room);
        }
        if (fm.horizontalAdvance(text) <= room) {
            return text;
        }
        qsizetype n = text.size();
        while (n > 0 && fm.horizontalAdvance(text.left(n).trimmed() + ellipsis()) > room) {
            --n;
        }
        return text.left(n).trimmed() + ellipsis();
    }

    QPainter& m_p;
    double m_k;
    bool m_roman;
};

#endif
