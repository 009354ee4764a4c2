#ifndef KELBO_TESTS_CARDPRINTER_CARDTESTSUPPORT_H
#define KELBO_TESTS_CARDPRINTER_CARDTESTSUPPORT_H

// Reading printed cards back the way an operator's PDF viewer would.

#include <QProcess>
#include <QString>
#include <QStringList>

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

} // namespace cardtest

#endif
