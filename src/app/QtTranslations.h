#ifndef KELBO_APP_QTTRANSLATIONS_H
#define KELBO_APP_QTTRANSLATIONS_H

#include <QLocale>

/** @brief Loads Qt's own translations (standard buttons, file dialogs) for @p locale from Qt's translations
 * folder and installs them in the application; the program's own texts are Japanese already. False when there
 * are none for that language (the texts stay English). */
bool loadQtTranslations(const QLocale& locale = QLocale());

#endif
