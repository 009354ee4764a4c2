#ifndef KELBO_APP_TMAINWND_H
#define KELBO_APP_TMAINWND_H

#include "cardlink/CardLink.h"
#include "convdef/Settings.h"
#include "convert/ConvDefTable.h"
#include "logtable/LogTable.h"

#include <QStringList>
#include <QWidget>
#include <memory>

class LogTableModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

/** @brief The main window: the log table and its grid, the transfer options, the conversion definition and
 * the link to the card program. */
class TMainWnd : public QWidget
{
    Q_OBJECT
public:
    /** @brief Builds the window and reads the settings file. @p arguments are the command line, the program's
     * own path first; any further argument puts the settings file beside the executable instead of in the
     * current folder. @p table is the log table object to use (a closed one; a new engine table when null). */
    explicit TMainWnd(const QStringList& arguments, std::unique_ptr<LogTable> table = nullptr,
                      QWidget* parent = nullptr);
    ~TMainWnd() override;

    /** @brief The folder of the settings file, ending in '/', or empty when the current folder is unknown. */
    QString BaseDir;
    int SendFieldIndex = -1;
    int PrintPhase = 0;

    LogTable& table() { return *m_table; }
    /** @brief The send mark's bytes: as read from the settings file while the user has not changed it. */
    std::string SendMarkBytes() const;
    ConvDefTable& convDefTable() { return m_convDef; }
    /** @brief Full path of the settings file. */
    QString settingsPath() const;

    /** @brief Position of the first entry that is exactly "SEND", or -1. */
    int FindSendField() const;
    /** @brief CARDOBtn follows the open table, SendMark a "SEND" entry; nothing else changes. */
    void UpdateControls();

    void ConBtnClick();
    void RefBtnClick();
    void FieldSetBtnClick();
    /** @brief The close sequence: writes the settings, then offers a pending send-mark update. False when the
     * window is to stay open. */
    bool FormCloseQuery();

    // The transfer, poll and send-mark handlers (TMainWndTransfer.cpp).
    void CARDOBtnClick();
    void TimerTimer();
    /** Closing form of the send-mark update, then "DeleteLog" after a transfer; false when the window is to stay
     * open (Cancel, an update that failed, or a handler of the card link still running). */
    bool CloseSendMarks();

    /** @brief BaseDir for a command line: the executable's folder when there is an argument after the program's
     * path, else the current folder; '/'-terminated, or empty when @p currentDir is. */
    static QString baseDirFor(const QStringList& arguments, const QString& exeDir, const QString& currentDir);

    QLabel* Label1 = nullptr;
    QLineEdit* EditDir = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EditLog = nullptr;
    QPushButton* RefBtn = nullptr;
    QPushButton* ConBtn = nullptr;
    QCheckBox* AllSend = nullptr;
    QCheckBox* CBUTC = nullptr;
    QLabel* LSendMark = nullptr;
    QLineEdit* SendMark = nullptr;
    QPushButton* FieldSetBtn = nullptr;
    QPushButton* CARDOBtn = nullptr;
    QTableView* DBGrid = nullptr;
    /** @brief The print-status poll: 2000 ms, off until the first transfer. */
    QTimer* Timer = nullptr;

    /** @brief The transfer and send-mark logic (a test may put one reaching its own card program here). */
    std::unique_ptr<CardLink> m_link;
    /** @brief Handlers of the link under way, their boxes included: the poll does not tick meanwhile. */
    int m_linkRunning = 0;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadSettingsIntoControls();
    void SaveSettingsFromControls();
    KelboSettings settingsFromControls() const;

    // The settings as read at start: a text the user leaves alone is written back with these very bytes.
    KelboSettings m_loaded;
    ConvDefTable m_convDef;
    std::unique_ptr<LogTable> m_table;
    LogTableModel* m_gridModel = nullptr;
};

/** @brief The one main window while it exists. */
extern TMainWnd* MainWnd;

#endif
