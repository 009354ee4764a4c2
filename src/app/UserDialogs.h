#ifndef KELBO_APP_USERDIALOGS_H
#define KELBO_APP_USERDIALOGS_H

#include "common/Answer.h"

#include <QString>
#include <QStringList>

class QWidget;

/** @brief What a file dialog is asked to show. */
struct FileDialogSpec
{
    QString title;
    QString filter; // Qt form, e.g. "KELBO 変換定義ファイル(*.def)"
    QString fileName; // proposed file name ("" for none)
    QString defaultExt; // without the dot
    QString startDir; // "" lets the platform choose
    bool confirmOverwrite = true; // a save dialog asks before it names an existing file
};

/** @brief Every message box, file dialog and the standard error display go through this interface, so that
 * tests install a scripted implementation that answers and records instead of blocking on a modal window. */
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    /** @brief "ｴﾗｰ", OK, stop icon. */
    virtual Answer ErrorBox(QWidget* owner, const QString& text) = 0;
    /** @brief "警告", OK, exclamation icon. */
    virtual Answer WarningBox(QWidget* owner, const QString& text) = 0;
    /** @brief "KELBO", OK, information icon: what a finished task did. */
    virtual Answer InfoBox(QWidget* owner, const QString& text) = 0;
    /** @brief "KELBO", Yes and No, question icon, Yes the default. */
    virtual Answer YesNoBox(QWidget* owner, const QString& text) = 0;
    /** @brief "KELBO", Yes, No and Cancel, question icon, Yes the default. */
    virtual Answer YesNoCancelBox(QWidget* owner, const QString& text) = 0;
    /** @brief The standard error display: the error's own text in a critical box titled "KELBO". */
    virtual void ShowError(QWidget* owner, const QString& text) = 0;
    /** @brief A file-open dialog; "" when cancelled. */
    virtual QString OpenFileName(QWidget* owner, const FileDialogSpec& request) = 0;
    /** @brief A file-save dialog; "" when cancelled. */
    virtual QString SaveFileName(QWidget* owner, const FileDialogSpec& request) = 0;
};

/** @brief The program's dialogs: the real ones unless a test installed its own. */
UserDialogs& dialogs();
/** @brief Installs @p d (not owned) in place of the real dialogs; nullptr restores them. */
void setDialogs(UserDialogs* d);

/** @brief Runs an event handler's body; a KelboError or std::exception leaving it is shown by the standard
 * error display and the event loop goes on. Returns false when an error was shown. */
template <typename F> bool guarded(QWidget* owner, F&& body);

bool showHandlerError(QWidget* owner, const char* what);

template <typename F> bool guarded(QWidget* owner, F&& body)
{
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        return showHandlerError(owner, e.what());
    }
}

#endif
