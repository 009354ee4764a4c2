// The main window's start: its place as last closed, the first start on the bundled sample, the table open at the
// last close, and the command line of a later start.
#include "app/TMainWnd.h"
#include "app/UserDialogs.h"
#include "app/WindowPlace.h"
#include "common/Cp932.h"
#include "convdef/Settings.h"
#include "convdef/SettingsLocation.h"
#include <QGuiApplication>
#include <QScreen>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {

const QString kWindowGroup = QStringLiteral("Window");
const QString kGeometry = QStringLiteral("Geometry");
const QString kConnectAtStart = QStringLiteral("ConnectAtStart");
const QString kOpenDir = QStringLiteral("OpenDir");
const QString kOpenName = QStringLiteral("OpenName");

/** The folder of the bundled sample log: beside the installed program (…/share/kelbo/sample), else in the system's
 * data folders; "" when there is none. */
QString sampleDir()
{
    QStringList candidates{QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kelbo/sample")};
    candidates += QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("kelbo/sample"),
                                            QStandardPaths::LocateDirectory);
    for (const QString& dir : candidates) {
        if (QFileInfo::exists(dir + QStringLiteral("/LOG.DB"))
            && QFileInfo::exists(dir + QStringLiteral("/KELBO.ini.in"))) {
            return QDir::cleanPath(dir) + QLatin1Char('/');
        }
    }
    return QString();
}

bool sameBytes(const QString& a, const QString& b)
{
    QFile fa(a);
    QFile fb(b);
    return fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) && fa.readAll() == fb.readAll();
}

/** True when @p dir holds a file named @p name, letter case aside (as the table engines open it). */
bool tableThere(const QString& dir, const QString& name)
{
    if (dir.isEmpty() || name.isEmpty() || name.contains(QLatin1Char('/'))) {
        return false;
    }
    const QDir folder(dir);
    for (const QString& entry : folder.entryList(QDir::Files | QDir::Hidden)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

QString TMainWnd::windowStatePath() const
{
    return BaseDir + QStringLiteral("KELBO-window.ini");
}

void TMainWnd::SaveWindowState()
{
    if (BaseDir.isEmpty()) {
        return;
    }
    QSettings state(windowStatePath(), QSettings::IniFormat);
    state.beginGroup(kWindowGroup);
    state.setValue(kGeometry, saveGeometry());
    if (!state.contains(kConnectAtStart)) {
        state.setValue(kConnectAtStart, 1);
    }
    // The table comes back at the next start only while the boxes still name the one that is open.
    const bool open = table().IsOpen() && EditDir->text() == m_connectedDir && EditLog->text() == m_connectedLog;
    state.setValue(kOpenDir, open ? m_connectedDir : QString());
    state.setValue(kOpenName, open ? m_connectedLog : QString());
    state.endGroup();
    state.sync();
}

void TMainWnd::placeByDefault()
{
    // At the left of the screen, so that the card program's window finds room beside it.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(kelboWindowPlace(screen->availableGeometry()).topLeft());
    }
}

void TMainWnd::StartUp()
{
    const bool firstStart = !m_hadSettingsFile;
    bool placed = false;
    if (!BaseDir.isEmpty() && QFileInfo::exists(windowStatePath())) {
        QSettings state(windowStatePath(), QSettings::IniFormat);
        state.beginGroup(kWindowGroup);
        placed = restoreGeometry(state.value(kGeometry).toByteArray());
        if (!placed) {
            placeByDefault();
        }
        const bool connect = state.value(kConnectAtStart, 1).toInt() != 0;
        const QString dir = state.value(kOpenDir).toString();
        const QString name = state.value(kOpenName).toString();
        state.endGroup();
        if (connect && !dir.isEmpty() && dir == EditDir->text() && name == EditLog->text() && tableThere(dir, name)) {
            guarded(this, [this] { ConBtnClick(); });
            return;
        }
    } else {
        placeByDefault();
    }
    if (firstStart && BaseDir == userConfigDir() && StartOnSample()) {
        guarded(this, [this] { ConBtnClick(); });
    }
}

bool TMainWnd::StartOnSample()
{
    const QString sample = sampleDir();
    if (sample.isEmpty()) {
        return false;
    }
    // Copied where the operator's logs go, never over a file that is already there.
    const QString logData = QDir::homePath() + QStringLiteral("/KELBO/LOGDATA/");
    if (!QDir().mkpath(logData)) {
        return false;
    }
    for (const QString& file : QDir(sample).entryList({QStringLiteral("LOG.*")}, QDir::Files)) {
        if (!QFileInfo::exists(logData + file)) {
            QFile::copy(sample + file, logData + file);
        }
    }
    // A log of the operator's own under that name gets no sample definition and is not opened unasked.
    if (!sameBytes(sample + QStringLiteral("LOG.DB"), logData + QStringLiteral("LOG.DB"))) {
        return false;
    }
    // The sample's settings, with the definition that fits it; the settings file is written at close as always.
    LoadSettingsIntoControls((sample + QStringLiteral("KELBO.ini.in")).toStdString());
    EditDir->setText(logData);
    EditDir->setCursorPosition(0);
    SendFieldIndex = FindSendField();
    UpdateControls();
    RefreshStatus();
    m_browseFromHome = true;
    return true;
}

void TMainWnd::OpenFromCommandLine(const QStringList& arguments, const QString& currentDir)
{
    if (isMinimized()) {
        showNormal();
    }
    show();
    raise();
    activateWindow();
    if (arguments.size() < 2 || arguments.at(1).isEmpty()) {
        return;
    }
    if (m_linkRunning > 0 || m_inClose || QApplication::activeModalWidget()) {
        // A box of ours is open or a transfer runs: the table changes once that is over.
        m_pendingArguments = arguments;
        m_pendingDir = currentDir;
        QTimer::singleShot(500, this, [this] {
            const QStringList args = m_pendingArguments;
            m_pendingArguments.clear();
            if (!args.isEmpty()) {
                OpenFromCommandLine(args, m_pendingDir);
            }
        });
        return;
    }
    const QFileInfo named(QDir(currentDir).absoluteFilePath(arguments.at(1)));
    QString dir;
    QString name = EditLog->text();
    if (named.isDir()) {
        dir = named.absoluteFilePath() + QLatin1Char('/');
        // A settings folder names its table in its own settings file.
        const std::string ini = SettingsPath(dir.toStdString());
        if (QFileInfo::exists(QString::fromStdString(ini))) {
            KelboSettings s = DefaultSettings();
            if (LoadSettings(ini, s)) {
                dir = DirText(s);
                name = cp932::toUnicode(s.Name);
            }
        }
    } else if (named.isFile()) {
        dir = named.absolutePath() + QLatin1Char('/');
        name = named.fileName();
    } else {
        dialogs().WarningBox(this, named.absoluteFilePath() + QStringLiteral(" が見つかりません."));
        return;
    }
    EditDir->setText(dir);
    EditDir->setCursorPosition(0);
    EditLog->setText(name);
    EditLog->setCursorPosition(0);
    guarded(this, [this] { ConBtnClick(); });
}
