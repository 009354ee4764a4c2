#ifndef KELBO_CONVDEF_SETTINGSLOCATION_H
#define KELBO_CONVDEF_SETTINGSLOCATION_H

#include <QString>
#include <QStringList>

/** @brief The user's own settings folder: "$XDG_CONFIG_HOME/KELBO/", or "~/.config/KELBO/" when that variable
 * is unset or not an absolute path. Ends in '/'. */
QString userConfigDir();

/** @brief Where the settings file lives (BaseDir), ending in '/' (or empty when no folder is known).
 *
 * With an argument after the program's path: the folder it names when it is one, else the executable's folder
 * @p exeDir. Without one: the current folder when a "KELBO.ini" is there (a folder copied from another machine
 * keeps working), else @p configDir (see userConfigDir), else the current folder. Nothing is created. */
QString settingsBaseDir(const QStringList& arguments, const QString& exeDir, const QString& currentDir,
                        const QString& configDir);

/** @brief settingsBaseDir for this process (executable's folder, current folder, userConfigDir). */
QString settingsBaseDir(const QStringList& arguments);

#endif
