#ifndef KELBO_APP_UILOCALE_H
#define KELBO_APP_UILOCALE_H

#include <QFont>
#include <QStringList>

/** @brief The proportional Japanese faces for the windows, best first. */
QStringList proportionalJapaneseFaces();

/** @brief True when @p font draws a narrow and a wide letter at one width: a monospaced face, which fontconfig
 * does not always mark as one. */
bool isMonospaced(const QFont& font);

/** @brief The windows' font made from the desktop's @p systemFont: its face stays first unless it draws every
 * letter at one width (fontconfig makes a monospaced face the default Japanese sans when the card font package
 * says so, and the windows then look like a terminal); the first of @p installedFamilies that is a proportional
 * Japanese face follows for the kana and kanji, so that they come from that face and not from the fallback. The
 * size stays. */
QFont uiFont(const QFont& systemFont, bool systemFaceIsFixedPitch, const QStringList& installedFamilies);

/** @brief Sets up a program's windows for the operator: Qt's own texts (standard buttons, file and print dialogs)
 * in the locale's language where Qt's translations are installed (Japanese, the program's own, under the C
 * locale), and uiFont as the application font. Call it
 * once, right after the QApplication is made. */
void setUpUiLocale();

#endif
