#ifndef KELBO_TESTS_CARDPRINTER_CARDTESTSUPPORT_H
#define KELBO_TESTS_CARDPRINTER_CARDTESTSUPPORT_H

// Reading printed cards back the way an operator's PDF viewer would.

#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

namespace cardtest {

/** The text layer of @p pdf as pdftotext reads it, pages separated by form feeds; "" when it cannot. */
inline QString pdfText(const QString& pdf, bool layout = false)
{
    QProcess p;
    QStringList args;
    if (layout) {
        args << QStringLiteral("-layout");
    }
    args << pdf << QStringLiteral("-");
    p.start(QStringLiteral("pdftotext"), args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

/** The text of each page of @p pdf. */
inline QStringList pdfPages(const QString& pdf, bool layout = false)
{
    QStringList pages = pdfText(pdf, layout).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) {
        pages.removeLast();
    }
    return pages;
}

/** A word of a PDF's text layer with its box in points from the page's top-left corner. */
struct PdfWord
{
    QString text;
    QRectF box;
};

/** The words of each page of @p pdf with their boxes, as pdftotext -bbox reads them. */
inline std::vector<std::vector<PdfWord>> pdfPageWords(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression word(
        QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    std::vector<std::vector<PdfWord>> pages;
    const QStringList parts = html.split(QStringLiteral("<page "));
    for (int i = 1; i < parts.size(); ++i) {
        pages.emplace_back();
        for (auto it = word.globalMatch(parts[i]); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            QString text = m.captured(5);
            text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
                .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
            pages.back().push_back({text,
                                    QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                           QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
        }
    }
    return pages;
}

/** The words of every page of @p pdf, in page order. */
inline std::vector<PdfWord> pdfWords(const QString& pdf)
{
    std::vector<PdfWord> all;
    for (const std::vector<PdfWord>& page : pdfPageWords(pdf)) {
        all.insert(all.end(), page.begin(), page.end());
    }
    return all;
}

} // namespace cardtest

#endif
