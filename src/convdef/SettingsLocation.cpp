#include "convdef/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString withSlash(QString dir)
{
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) {
        dir += QLatin1Char('/');
    }
    return dir;
}

} // namespace

QString userConfigDir()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return withSlash(QDir::cleanPath(base)) + QStringLiteral("KELBO/");
}

QString settingsBaseDir(const QStringList& arguments, const QString& exeDir, const QString& currentDir,
                        const QString& configDir)
{
    if (arguments.size() > 1) {
        const QFileInfo named(arguments.at(1));
        if (!arguments.at(1).isEmpty() && named.isDir()) {
            return withSlash(named.absoluteFilePath());
        }
        return withSlash(exeDir);
    }
    if (!currentDir.isEmpty() && QFileInfo(withSlash(currentDir) + QStringLiteral("KELBO.ini")).isFile()) {
        return withSlash(currentDir);
    }
    if (!configDir.isEmpty()) {
        return withSlash(configDir);
    }
    return withSlash(currentDir);
}

QString settingsBaseDir(const QStringList& arguments)
{
    const QString exeDir = arguments.size() > 1 ? QCoreApplication::applicationDirPath() : QString();
    return settingsBaseDir(arguments, exeDir, QDir::currentPath(), userConfigDir());
}
