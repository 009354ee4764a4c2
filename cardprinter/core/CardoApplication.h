#ifndef KELBO_CARDPRINTER_CARDOAPPLICATION_H
#define KELBO_CARDPRINTER_CARDOAPPLICATION_H

#include "BureauOrder.h"
#include "CardLayout.h"
#include "CardSettings.h"
#include "Contact.h"
#include "LabelSheet.h"
#include "PrintJobs.h"

#include <QAbstractTableModel>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <vector>

/** @brief One line handed over by the log program, with the position it gave. */
struct HeldLine
{
    Contact contact;
    QString bureauKey;
    QString bundle; // the bureau's bundle it goes into: a call area, a DXCC entity
    QString noCard; // why it gets no card when electronic-only and NO QSL contacts are left out, else ""
    qint64 serial = 0; // names the line while rows come and go
    int position = 0;
    bool printed = false;
    bool pending = false; // on a print job that has not ended yet
    QString problem; // why the line cannot go on a card as it stands ("" when it can)
};

/** @brief Where cards go: a printer of the print system, or a PDF file ("Print to File"); on postcards, or as labels
 * on label sheets. */
struct PrintTarget
{
    QString printer;
    QString file;
    int copies = 1;
    bool labels = false; // label sheets instead of postcards
    LabelSheet sheet; // the sheet labels go on
    int start = 1; // the first label's cell on the first sheet (1-based)
};

/** @brief The held lines as a table of contacts. Appends are taken up lazily (sync()), so that a long run of
 * AddLogPos calls costs the view nothing until the event loop is idle. */
class HeldLinesModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        State,
        Bundle,
        Date,
        Time,
        Call,
        Rst,
        Freq,
        Mode,
        Power,
        Name,
        Qth,
        Qsl,
        Marks,
        ColumnCount
    };
    /** The role the list sorts by: the call column in bureau order, the date column with the time. */
    static constexpr int SortRole = Qt::UserRole;

    HeldLinesModel(const std::vector<HeldLine>& lines, const CardSettings& settings, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    /** Shows the lines appended since the last sync. */
    void sync();
    /** The held lines were replaced or dropped, or the settings changed. */
    void reload();
    /** Rows @p first..@p last changed their printed state. */
    void refresh(int first, int last);

private:
    const std::vector<HeldLine>& m_lines;
    const CardSettings& m_settings;
    int m_shown = 0;
};

/** @brief The card program's automation object on the bus: the operations the log program uses, plus PrintLines
 * for scripts and tests. */
class CardoApplication : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "CARDO.Application")
    Q_PROPERTY(int Modified READ modified WRITE setModified)
    Q_PROPERTY(int DisableExit READ disableExit WRITE setDisableExit)
    Q_PROPERTY(int EnableLogFile READ enableLogFile WRITE setEnableLogFile)
    Q_PROPERTY(int PrintStat READ printStat WRITE setPrintStat)
    Q_PROPERTY(int GetLogCount READ logCount)

public:
    /** @p settingsPath is the settings file ("" for the user's own). */
    explicit CardoApplication(const QString& settingsPath = QString(), QObject* parent = nullptr);

    int modified() const { return m_modified; }
    void setModified(int v) { m_modified = v; }
    int disableExit() const { return m_disableExit; }
    void setDisableExit(int v) { m_disableExit = v; }
    int enableLogFile() const { return m_enableLogFile; }
    void setEnableLogFile(int v) { m_enableLogFile = v; }
    /** 2 once printed lines wait for the log program; 1 while a print job has not ended (what it printed is told
     * when it ends); else 0. */
    int printStat() const { return m_job ? 1 : m_printStat; }
    void setPrintStat(int v) { m_printStat = v; }
    int logCount() const { return static_cast<int>(m_lines.size()); }

    const std::vector<HeldLine>& lines() const { return m_lines; }
    int printedCount() const { return m_printedCount; }
    HeldLinesModel* model() { return &m_model; }
    const CardSettings& settings() const { return m_settings; }
    /** Takes @p s and writes it to the settings file; false when the file could not be written. A damaged file is
     * mended by it. */
    bool setSettings(const CardSettings& s);
    /** Keeps @p printer as the one proposed next time. */
    void rememberPrinter(const QString& printer);
    /** Why the settings file cannot be trusted (nothing is printed until the operator sets it again), else "". */
    const QString& settingsDamage() const { return m_settingsDamage; }
    /** True while a print job has not ended. */
    bool jobPending() const { return m_job.has_value(); }
    /** The pending job as the operator knows it ("印刷機-12: 印刷中"), else "". */
    QString jobText() const;

    /** @p rows without those that cannot be printed; @p problems gets one line for each left out, with the reason.
     * All are left out while the own call sign is not set. */
    QList<int> printableRows(const QList<int>& rows, QStringList* problems) const;
    /** The cards for held rows @p rows, in the order given; a card takes up to @p perCard contacts with one station
     * (fewer on a small label). */
    std::vector<Card> cardsFor(const QList<int>& rows, int perCard = kContactsPerCard) const;
    /** Keeps the label choice of @p s (labels or cards, the sheet, the own sheet, the start cell) in the settings and
     * its file; false when the file could not be written. */
    bool setLabelChoice(const CardSettings& s);
    /** Where cards are sorted from: the country file, or the literal prefixes without one. */
    const BureauOrder& bureauOrder() const { return m_bureau; }
    /** Why foreign cards sort by their prefixes only ("" when the country file was read). */
    const QString& countryNote() const { return m_countryNote; }
    /** Why held row @p row is not printed ("" when it is): an electronic-only or NO QSL contact, while the settings
     * leave those out. */
    QString leftOut(int row) const;

    /** @p rows in the order the settings print them: the bureau's, else as given. */
    QList<int> printOrder(QList<int> rows) const;
    /** @p cards came out: their lines still held count as printed and the print status reads 2. Returns how many
     * lines were marked: 0 when the log program dropped them meanwhile. */
    int cardsPrinted(const std::vector<Card>& cards);
    /** Prints @p cards on @p target, as cards or as labels. Their numbers are taken from the settings and the next
     * number is saved before anything goes out. A file counts as printed once written and read back; a printer's job is
     * followed until it ends, and only a completed job makes its lines printed (jobEnded tells). False with @p message
     * when nothing went out: nothing is then printed and no number used. */
    bool print(std::vector<Card> cards, const PrintTarget& target, QString* message);
    /** Prints the given rows as cards into a new PDF in the cards folder; the PDF's path, or "" with @p error set. */
    QString printRows(const QList<int>& rows, QString* error);

signals:
    /** The held lines, their printed states or the settings changed. */
    void changed();
    /** The log program asks for the window shown (@p show) or hidden. */
    void showRequested(bool show);
    /** The log program asks for the window in front. */
    void foregroundRequested();
    /** A transfer ended: the list takes the settings' order, nothing chosen. */
    void linesArrived();
    /** A line of news for the operator. */
    void status(const QString& text);
    /** A print job ended: its cards came out (@p printed), or not, and @p message says what became of them. */
    void jobEnded(bool printed, const QString& message);

public slots:
    void ShowWindow(int how);
    void NewDoc();
    void DeleteLog();
    void AddLogPos(const QString& line, int position);
    void SetPrintMax();
    void Foreground();
    void DoLogList();
    int GetPrintedPos(int index);
    void DeletePrintedData();
    /** Prints lines @p indexes (0-based) as cards without a person; returns the PDF's path. */
    QString PrintLines(const QList<int>& indexes);
    /** Prints lines @p indexes as cards on @p printer without a person; returns the job ("printer-12"). The lines
     * count as printed once the job completed. */
    QString PrintLinesOn(const QList<int>& indexes, const QString& printer);

private:
    struct Job
    {
        QString printer;
        int id = 0;
        std::vector<Card> cards;
        int firstNumber = 0;
        int nextLabelStart = 0; // where the next label goes once these came out; 0 for cards
        int unknownPolls = 0;
        JobState state = JobState::Pending;
    };

    void scheduleSync();
    /** True, and the caller answered with an error, when lines handed over by another live connection are held. */
    bool refusedWhileHeld() const;
    /** The caller's connection holds the lines from now on. */
    void holdForCaller();
    /** Checks the chosen rows; "" when they can be printed, else why not. */
    QString checkRows(const QList<int>& rows) const;
    /** Marks the lines of @p cards as on a pending job (or off it again). */
    void setPending(const std::vector<Card>& cards, bool pending);
    /** Gives back numbers @p first.. of a job that printed nothing, unless later numbers were taken meanwhile. */
    QString giveBackNumbers(int first, int count);
    void followJob();
    /** Labels came out: the next run is proposed to begin at cell @p next of a partly used sheet. */
    void labelsCameOut(int next);
    void endJob(bool printed, const QString& message);
    /** Refuses a call that would drop lines on a pending job; true when refused. */
    bool refuseWhilePrinting(const char* what);

    QString m_settingsPath;
    QString m_settingsDamage; // before m_settings, which fills it
    CardSettings m_settings;
    BureauOrder m_bureau;
    QString m_countryNote;
    std::optional<Job> m_job;
    QTimer m_follow;
    std::vector<HeldLine> m_lines;
    HeldLinesModel m_model;
    int m_printedCount = 0;
    qint64 m_nextSerial = 1;
    int m_modified = 0;
    int m_disableExit = 0;
    int m_enableLogFile = 1;
    int m_printStat = 0;
    bool m_syncPending = false;
    // Unique bus name of the connection whose lines are held ("" for none, or lines from this process).
    QString m_holder;
    long m_exitAfterLines = -1;
};

/** @brief Where PrintLines writes its PDFs: $KELBO_CARDPRINTER_PDF_DIR, else the home folder. */
QString cardsFolder();

#endif
