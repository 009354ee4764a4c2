#include "app/UiLocale.h"

#include "app/QtTranslations.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>

QStringList proportionalJapaneseFaces()
{
    return {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Source Han Sans JP"), QStringLiteral("IPAPGothic"),
            QStringLiteral("IPAexGothic"),      QStringLiteral("TakaoPGothic"),       QStringLiteral("VL PGothic")};
}

bool isMonospaced(const QFont& font)
{
    const QFontMetricsF metrics(font);
    return metrics.horizontalAdvance(QLatin1Char('i')) == metrics.horizontalAdvance(QLatin1Char('M'));
}

QFont uiFont(const QFont& systemFont, bool systemFaceIsFixedPitch, const QStringList& installedFamilies)
{
    QFont font = systemFont;
    QStringList families;
    if (!systemFaceIsFixedPitch) {
        families << systemFont.families();
        if (families.isEmpty()) {
            families << systemFont.family();
        }
    }
    for (const QString& face : proportionalJapaneseFaces()) {
        if (installedFamilies.contains(face, Qt::CaseInsensitive)) {
            if (!families.contains(face, Qt::CaseInsensitive)) {
                families << face;
            }
            break;
        }
    }
    if (!families.isEmpty()) {
        font.setFamilies(families);
    }
    return font;
}

void setUpUiLocale()
{
    // Without a language (C, POSIX) Qt's texts follow the program's own, which are Japanese.
    const QLocale locale;
    loadQtTranslations(locale.language() == QLocale::C ? QLocale(QLocale::Japanese, QLocale::Japan) : locale);
    const QFont system = QApplication::font();
    QApplication::setFont(uiFont(system, isMonospaced(system), QFontDatabase::families()));
}
