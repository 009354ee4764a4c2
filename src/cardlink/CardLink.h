#ifndef KELBO_CARDLINK_CARDLINK_H
#define KELBO_CARDLINK_CARDLINK_H

#include "cardlink/CardAutomation.h"
#include "cardlink/SendMarkUndo.h"
#include "common/Answer.h"
#include "convert/ConvDefTable.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class LogTable;

/** @brief What the transfer and the send-mark update need from the window: its questions and boxes, the
 * progress box, the wait pointer and the poll timer. */
class CardLinkUi
{
public:
    virtual ~CardLinkUi() = default;
    virtual Answer YesNoBox(const QString& text) = 0;
    virtual Answer YesNoCancelBox(const QString& text) = 0;
    virtual void ErrorBox(const QString& text) = 0;
    virtual void WarningBox(const QString& text) = 0;
    /** @brief The standard error display, for an error the link shows itself instead of passing it on. */
    virtual void ShowError(const QString& text) = 0;
    /** @brief Creates the progress box and shows @p text in it; closeProgress destroys it. */
    virtual void showProgress(const QString& text) = 0;
    virtual void closeProgress() = 0;
    /** @brief A send-mark update ended: @p marks are the records that got the mark, in the order written, each with
     * what its SEND field (and its date field) held before and its fingerprint (RecordPrint without those). */
    virtual void marksWritten(const std::vector<SendMarkUndo::Mark>& marks) { (void)marks; }
    /** @brief How far the work in the progress box is: @p done of @p total records (or marks). */
    virtual void progressStep(long done, long total)
    {
        (void)done;
        (void)total;
    }
    /** @brief The hourglass pointer on and off again (calls pair up). */
    virtual void beginWait() = 0;
    virtual void endWait() = 0;
    /** @brief Enables the 2000 ms poll timer (it is never disabled). */
    virtual void startPollTimer() = 0;
};

/** @brief The window's state and options a transfer or an update reads; printPhase is written back. */
struct CardLinkContext
{
    LogTable& table;
    const ConvDefTable& defs;
    int sendFieldIndex = -1;
    bool allSend = false;
    bool utcToJst = true;
    /** The text written as the send mark (CP932). */
    std::string sendMark;
    int& printPhase;
    CardLinkUi& ui;
};

/** @brief Creates the card program object; nullptr, or a KelboError whose first line says why and what to do, when
 * it cannot be started. */
using CardAutomationFactory = std::function<std::unique_ptr<CardAutomation>()>;

/** @brief The program's own texts of the transfer and the update. */
namespace cardtext {
inline const QString kNoSendEntry = QStringLiteral("変換式「SEND」が設定されていません.\r\n\r\n強行しますか？");
inline const QString kBadSendEntry = QStringLiteral("変換式「SEND」の位置が不適切です.\r\n\r\n強行しますか？");
inline const QString kCannotStart = QStringLiteral("CARDOを起動できません.");
inline const QString kTransferring = QStringLiteral("CARDOにログデータを転送中...");
inline const QString kAskUpdate
    = QStringLiteral("CARDOがデータを印刷ジョブに送りました。\r\n\r\nデータベースの発送済みマークを更新しますか？");
inline const QString kBadSendUpdate
    = QStringLiteral("変換式「SEND」の位置が不適切です.\r\n\r\nデータベースの更新に失敗しました.");
inline const QString kUpdating = QStringLiteral("データベースを更新中...");
inline const QString kOtherTable = QStringLiteral(
    "開いているデータベースはCARDOに転送したものではありません.\r\n\r\nデータベースの更新に失敗しました.");
inline const QString kForce = QStringLiteral("\r\n\r\n強行しますか？");
inline const QString kUpdateFailed = QStringLiteral("\r\n\r\nデータベースの更新に失敗しました.");
/** %1: the send mark, %2: the SEND field's width in bytes. */
inline const QString kMarkTooLong = QStringLiteral("送信マーク「%1」はSENDフィールド(%2バイト)に入りません.");
/** %1: the count the card program reported, %2: the lines handed over. */
inline const QString kBadCount = QStringLiteral(
    "CARDOが報告した行数 %1 は, 転送した %2 行の範囲にありません.\r\n\r\nデータベースは更新していません.");
/** %1: the position the card program reported. */
inline const QString kNotHandedOver
    = QStringLiteral("CARDOが, 転送していない位置 %1 を印刷済みと報告しました.\r\n\r\nデータベースは更新していません.");
inline const QString kGoneUnmarked
    = QStringLiteral("CARDOが終了したため, 印刷済みのレコードが分かりません.\r\n\r\n発送済みマークは更新していません.");
/** %1: the number of printed records left without the mark. */
inline const QString kLeftUnmarked
    = QStringLiteral("転送の後でデータベースが変更されたため, 印刷済みの %1 件に発送済みマークを付けませんでした.");
/** %1: the number of printed records whose mark the table refused. */
inline const QString kRefusedUnmarked
    = QStringLiteral("印刷済みの %1 件は, 書き込めないため発送済みマークを付けませんでした.");
/** %1: the records left unmarked, one a line. */
inline const QString kUnmarkedList = QStringLiteral("\r\n\r\nマークのない印刷済みの記録:\r\n%1");
/** A PrintStat read at close failed: %1 is the error. */
inline const QString kCloseStatusFailed
    = QStringLiteral("CARDOに印刷状況を問い合わせできません.\r\n%1\r\n\r\n印刷済みのカードが分からないため, "
                     "KELBOを終了しません. CARDOが応答するようになってから, もう一度閉じてください.");
/** The card program left the bus before it was asked about the printed cards. */
inline const QString kGoneUnasked = QStringLiteral(
    "CARDOが終了したため, 印刷済みのカードを問い合わせできませんでした.\r\n\r\n発送済みマークは更新していません. "
    "印刷したカードの記録は手で確かめてください.");
} // namespace cardtext

/** @brief Fingerprint of a record given as its field texts: a 64-bit hash of the text of every field but
 * @p skipField (the SEND field, so that a record keeps its fingerprint when it gets its mark; -1 skips none). */
std::uint64_t RecordFingerprint(const std::vector<std::string>& texts, int skipField = -1);

/** @brief The field names of the open @p table in field order (none when it is closed). */
std::vector<std::string> fieldNamesOf(const LogTable& table);

/** @brief Fingerprint of a table's records by field name: a 64-bit hash of every non-empty field's name and text, in
 * the order of the names (ASCII case ignored), leaving out the fields named in @p skipNames (the SEND field and the
 * date the update writes beside it). A record keeps it when its fields move, when the table gains or loses a field
 * the record leaves empty (an ADIF log gaining a tag), and when it gets its mark. */
class RecordPrint
{
public:
    RecordPrint() = default;
    RecordPrint(const std::vector<std::string>& fieldNames, const std::vector<std::string>& skipNames);
    /** @brief The fields of the open @p table. */
    RecordPrint(const LogTable& table, const std::vector<std::string>& skipNames);
    std::uint64_t operator()(const std::vector<std::string>& texts) const;

private:
    /** Field positions in the order of their names, each with its upper-case name. */
    std::vector<std::pair<int, std::string>> m_order;
};

/** @brief The names of the fields an update writes into @p table: the field at @p sendField and the format's date
 * field (when the table has one). */
std::vector<std::string> WrittenFieldNames(const LogTable& table, int sendField);

/** @brief The main window's link to the card program: the transfer of the log records, the print-status poll,
 * and the send-mark update into exactly the records whose cards were printed.
 *
 * A transfer remembers the table it handed over (its path) and, for each position it passed, a fingerprint of that
 * record by field name. An update writes the mark only while a table of that path is open and only into a record
 * that has that fingerprint: at its position, or else the one record of the table that has it (a file saved anew
 * by another program, contacts inserted or removed). Printed records that cannot be found so, or that the table
 * refuses to mark, are listed to the user and left as they are. */
class CardLink
{
public:
    /** @brief @p factory creates the card program object at each transfer (the session bus by default). */
    explicit CardLink(CardAutomationFactory factory = {});
    ~CardLink();

    /** @brief The CARDO button: checks the SEND entry, starts and prepares the card program, hands over every
     * passed record with its position and starts the poll. */
    void TransferRecords(CardLinkContext& ctx);
    /** @brief The poll timer's tick: reads the print status and asks for the update once it reads 2. */
    void TimerTimer(CardLinkContext& ctx);
    /** @brief The send-mark update; @p fromTimer chooses the Yes/No question over Yes/No/Cancel. Returns Yes
     * without asking when no update is pending. */
    Answer UpdateSendMarks(CardLinkContext& ctx, bool fromTimer);
    /** @brief The send-mark step of the close sequence: reads the print status once more, offers a pending update,
     * then tells the card program to drop its lines after a transfer. False when the window is to stay open: the
     * user chose Cancel, or chose Yes and the update failed, or the print status could not be read (the question comes
     * again at the next close). A failing "DeleteLog" is shown and the window still closes; a card program known to
     * be gone is not called, and the user is warned that its printed cards could not be asked about. */
    bool CloseSendMarks(CardLinkContext& ctx);

    /** @brief True once a transfer completed in this run (the poll timer runs). */
    bool transferred() const { return m_transferred; }
    /** @brief False after the card program failed to answer, until the next completed transfer. */
    bool polling() const { return m_polling; }
    /** @brief True once the card program is known to have left the bus. */
    bool gone() const { return m_automation && m_automation->gone(); }
    /** @brief True while a call to the card program or a question of the link is under way. */
    bool busy() const { return m_busy; }
    CardAutomation* automation() const { return m_automation.get(); }

    /** @brief The default factory: the card program on the session bus; throws the reason when it cannot start. */
    static std::unique_ptr<CardAutomation> sessionBusAutomation();

private:
    struct HandedOver;

    CardAutomation& cardo();

    CardAutomationFactory m_factory;
    std::unique_ptr<CardAutomation> m_automation;
    std::unique_ptr<HandedOver> m_handed;
    bool m_transferred = false;
    bool m_polling = false;
    /** The last poll failed and was shown: later failures in a row are not shown again. */
    bool m_pollFailing = false;
    /** Set while a transfer or an update runs: a tick delivered by the progress box's painting does nothing. */
    bool m_busy = false;
};

#endif
