#ifndef KELBO_APP_UILOCALE_H
#define KELBO_APP_UILOCALE_H

#include <QFont>
#include <QString>
#include <QStringList>

/** @brief The proportional Japanese faces for the windows, best first. */
QStringList proportionalJapaneseFaces();

/** @brief True when @p font draws a narrow and a wide letter at one width: a monospaced face, which fontconfig
 * does not always mark as one. */
bool isMonospaced(const QFont& font);

/** @brief What the desktop's default face turned out to be. */
struct DesktopFace
{
    QString family; ///< the face actually used (not an alias such as "Sans Serif")
    bool monospaced; ///< isMonospaced
    bool drawsJapanese; ///< it has kana and kanji of its own
};

/** @brief The windows' font made from the desktop's @p systemFont, at its size. A proportional face of the desktop
 * that draws Japanese stays. Otherwise the first of @p installedFamilies that is a proportional Japanese face leads,
 * so that the program's Japanese texts, their Latin letters and digits included, come from one face with one set
 * of metrics; the desktop's face follows unless it is monospaced (fontconfig makes a monospaced face the default
 * Japanese sans when the card font package says so, and the windows then look like a terminal). */
QFont uiFont(const QFont& systemFont, const DesktopFace& face, const QStringList& installedFamilies);

/** @brief Sets up a program's windows for the operator: Qt's own texts (standard buttons, file and print dialogs)
 * in the locale's language where Qt's translations are installed (Japanese, the program's own, under the C
 * locale), and uiFont as the application font. Call it once, right after the QApplication is made. */
void setUpUiLocale();

#endif
