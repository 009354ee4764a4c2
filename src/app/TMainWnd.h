#ifndef KELBO_APP_TMAINWND_H
#define KELBO_APP_TMAINWND_H

#include "cardlink/CardLink.h"
#include "cardlink/SendMarkUndo.h"
#include "convdef/Settings.h"
#include "convdef/TableDefinition.h"
#include "convert/ConvDefTable.h"
#include "logtable/LogTable.h"

#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class LogTableModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTableView;
class QTimer;

/** @brief The main window: the log table and its grid, the transfer options, the conversion definition and
 * the link to the card program. */
class TMainWnd : public QWidget
{
    Q_OBJECT
public:
    /** @brief Builds the window and reads the settings file. @p arguments are the command line, the program's
     * own path first; they choose the settings folder (settingsBaseDir), which is created when missing. @p table is the
     * log table object to use (a closed one; a new engine table when null). */
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

    /** @brief The status line: records, records not yet sent (with a "SEND" entry) and marks written in this
     * session, read from the table as it stands. */
    void RefreshStatus();
    /** @brief A send-mark update wrote the mark into the records of @p marks (what they held before, their
     * fingerprints). */
    void SendMarksWritten(const std::vector<SendMarkUndo::Mark>& marks);
    // The definition's binding to the table (TMainWndDefinition.cpp).
    /** @brief After a connect: the definition last used with this table comes back, or the one in use is bound to its
     * field names; a definition made for other field names is said once, with the guess offered. Remembers what the
     * boxes named. */
    void BindDefinitionToTable();
    /** @brief The definition was changed for the open table (the dialog's OK): it is remembered for it. */
    void DefinitionEdited();
    /** @brief True while the folder and file boxes name the open table as it was connected. */
    bool BoxesNameOpenTable() const;
    /** @brief The field names the definition was made for. */
    const ConvDefNames& definitionNames() const { return m_defNames; }
    /** @brief The file keeping the definition last used per table. */
    std::string definitionStorePath() const;

    /** @brief Takes the last send-mark update back, after a question (UndoBtn, Ctrl+Z). */
    void UndoBtnClick();
    /** @brief Marks written by send-mark updates since start. */
    long marksThisSession() const { return m_marksThisSession; }

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
    QStatusBar* StatusBar = nullptr;
    /** @brief The counts on the status line (its permanent part). */
    QLabel* StatusCounts = nullptr;
    /** @brief "マークを戻す": enabled while the last send-mark update can be taken back. */
    QPushButton* UndoBtn = nullptr;
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
    ConvDefNames m_defNames;
    // The table file the definition in use belongs to; "" while it belongs to none.
    std::string m_defTable;
    // What the folder and file boxes held at the last connect.
    QString m_connectedDir;
    QString m_connectedLog;
    /** The user's send mark while SendMark shows the open table's own mark (ADIF's "Y"); it is what the settings
     * file keeps. */
    QString m_ownSendMark;
    bool m_tableSendMark = false;
    std::unique_ptr<LogTable> m_table;
    LogTableModel* m_gridModel = nullptr;
    long m_marksThisSession = 0;
    SendMarkUndo m_undo;
};

/** @brief The one main window while it exists. */
extern TMainWnd* MainWnd;

#endif
