#include "app/UiLocale.h"

#include "app/QtTranslations.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
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

QFont uiFont(const QFont& systemFont, const DesktopFace& face, const QStringList& installedFamilies)
{
    QFont font = systemFont;
    if (!face.monospaced && face.drawsJapanese) {
        return font;
    }
    QStringList families;
    for (const QString& candidate : proportionalJapaneseFaces()) {
        if (installedFamilies.contains(candidate, Qt::CaseInsensitive)) {
            families << candidate;
            break;
        }
    }
    if (families.isEmpty()) {
        return font;
    }
    if (!face.monospaced && !face.family.isEmpty()) {
        families << face.family;
    }
    font.setFamilies(families);
    return font;
}

void setUpUiLocale()
{
    // Without a language (C, POSIX) Qt's texts follow the program's own, which are Japanese.
    const QLocale locale;
    loadQtTranslations(locale.language() == QLocale::C ? QLocale(QLocale::Japanese, QLocale::Japan) : locale);

    const QFont system = QApplication::font();
    DesktopFace face;
    face.family = QFontInfo(system).family();
    face.monospaced = isMonospaced(system);
    face.drawsJapanese = QFontDatabase::writingSystems(face.family).contains(QFontDatabase::Japanese);
    QApplication::setFont(uiFont(system, face, QFontDatabase::families()));
}
