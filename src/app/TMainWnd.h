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
class UnsentCount;

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

    /** @brief What a program start does after construction: the window gets its size and place as last closed; a
     * first start (no settings yet in the user's settings folder) opens the bundled sample log, copied into the
     * user's folder, with a definition that fits it; otherwise the table that was open at the last close is connected
     * again when the boxes still name it, it is still there and "ConnectAtStart" is not 0. */
    void StartUp();
    /** @brief A later start of KELBO handed over its command line (program path first) and current folder: the
     * window comes to the front and opens the table or folder named there, as 接続 does after the boxes changed. */
    void OpenFromCommandLine(const QStringList& arguments, const QString& currentDir);
    /** @brief KELBO's own state beside the settings file (window place, the table open at close): "KELBO-window.ini"
     * in BaseDir. KELBO.ini keeps its own keys only. */
    QString windowStatePath() const;

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
     * session. The unsent records are counted in steps between events, started over when @p recount (another table)
     * or when the SEND entry moved; until the count is done the line says how far it got. */
    void RefreshStatus(bool recount = false);
    /** @brief Puts the counts as they stand on the status line. */
    void ShowCounts();
    /** @brief The count of unsent records behind the status line. */
    const UnsentCount& unsentCount() const { return *m_unsentCount; }
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
    /** @brief "ADIF書き出し...": the records a transfer would pass (every one with "すべて引き渡す") into an ADIF file
     * the user names, with a progress box and a summary of what was written and left out (TMainWndExport.cpp). */
    void AdifExportBtnClick();
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
    /** @brief "ADIF書き出し...". */
    QPushButton* AdifExportBtn = nullptr;
    /** @brief The print-status poll: 2000 ms, off until the first transfer. */
    QTimer* Timer = nullptr;

    /** @brief The transfer and send-mark logic (a test may put one reaching its own card program here). */
    std::unique_ptr<CardLink> m_link;
    /** @brief Handlers of the link under way, their boxes included: the poll does not tick meanwhile. */
    int m_linkRunning = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    /** What the table could not read and found out only after 接続 (a damaged memo met in a record), shown once. */
    void ShowLaterReadNote();
    /** Reads the settings file, or the file @p from in its place, into the controls and the definition. */
    void LoadSettingsIntoControls(const std::string& from = std::string());
    void SaveWindowState();
    /** The bundled sample on a first start; false when there is none or the user's folder holds another log. */
    bool StartOnSample();
    /** Where the window opens when no place is remembered: kelboWindowPlace. */
    void placeByDefault();
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
    std::string m_noteShown; // the open table's read note as far as it was shown
    // The records the last update marked: the undo reads only these again for the count.
    std::vector<long> m_undoPositions;
    UnsentCount* m_unsentCount = nullptr;
    int m_countedField = -2;
    // Whether the settings file was there when it was read at construction.
    bool m_hadSettingsFile = false;
    // The first 参照 after a start on the sample opens in the home folder, where the operator's own logs are.
    bool m_browseFromHome = false;
    // One close asks its questions once, also when the close is requested again while it runs or after it was allowed.
    bool m_inClose = false;
    bool m_closeAllowed = false;
    // A table named by a later start while this window was busy: opened once it is not.
    QStringList m_pendingArguments;
    QString m_pendingDir;
};

/** @brief The one main window while it exists. */
extern TMainWnd* MainWnd;

#endif
