#ifndef KELBO_APP_KELBOFONT_H
#define KELBO_APP_KELBOFONT_H

#include <QFont>
#include <QStringList>

/** @brief The windows' font at @p pixelSize: "ＭＳ Ｐゴシック" where it is installed, else a Japanese sans-serif font
 * that draws Latin letters and kana alike, so that one set of metrics holds for a whole caption. */
inline QFont kelboFont(int pixelSize)
{
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setFamilies(
        {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("Noto Sans CJK JP")});
    f.setPixelSize(pixelSize);
    return f;
}

#endif
