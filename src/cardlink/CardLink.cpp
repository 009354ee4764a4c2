#include "cardlink/CardLink.h"

#include "cardlink/TableFileIdentity.h"
#include "cardlink/TransferWalk.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "logtable/LogTable.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

/** The hourglass for a scope. */
class WaitScope
{
public:
    explicit WaitScope(CardLinkUi& ui)
        : m_ui(ui)
    {
        m_ui.beginWait();
    }
    ~WaitScope() { m_ui.endWait(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    CardLinkUi& m_ui;
};

/** The progress box for a scope, closed early by close() or at the latest when the scope ends. */
class ProgressScope
{
public:
    ProgressScope(CardLinkUi& ui, const QString& text)
        : m_ui(ui)
    {
        m_ui.showProgress(text);
        m_open = true;
    }
    ~ProgressScope() { close(); }
    void close()
    {
        if (m_open) {
            m_open = false;
            m_ui.closeProgress();
        }
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    CardLinkUi& m_ui;
    bool m_open = false;
};

/** The grid unbound from the table for a scope, bound again by attach() or at the latest when the scope ends. */
class DetachScope
{
public:
    explicit DetachScope(LogTable& table)
        : m_table(table)
    {
        m_table.DetachGrid();
    }
    ~DetachScope() { attach(); }
    void attach()
    {
        if (!m_attached) {
            m_attached = true;
            m_table.AttachGrid();
        }
    }
    DetachScope(const DetachScope&) = delete;
    DetachScope& operator=(const DetachScope&) = delete;

private:
    LogTable& m_table;
    bool m_attached = false;
};

/** Sets a flag for a scope and puts its earlier value back when the scope ends (scopes nest). */
class BusyScope
{
public:
    explicit BusyScope(bool& flag)
        : m_flag(flag)
        , m_was(flag)
    {
        m_flag = true;
    }
    ~BusyScope() { m_flag = m_was; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
    bool m_was;
};

/** True when @p mark fits a field of @p width bytes (0: no fixed width). */
bool markFits(const std::string& mark, std::size_t width)
{
    return width == 0 || mark.size() <= width;
}

constexpr std::uint64_t kFnvOffset = 1469598103934665603ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

void hashBytes(std::uint64_t& h, const char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        h ^= static_cast<unsigned char>(data[i]);
        h *= kFnvPrime;
    }
}

/** The day of the update as a log format dates its send mark: YYYYMMDD, UTC. */
std::string utcDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm t = {};
    ::gmtime_r(&now, &t);
    char text[48];
    std::snprintf(text, sizeof text, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return text;
}

/** Position of the field named @p name (ASCII case ignored), or -1. */
int fieldNamed(const LogTable& table, const std::string& name)
{
    for (int i = 0; !name.empty() && i < table.FieldCount(); ++i) {
        if (cp932::equalsNoCase(table.FieldName(i), name)) {
            return i;
        }
    }
    return -1;
}

} // namespace

std::uint64_t RecordFingerprint(const std::vector<std::string>& texts, int skipField)
{
    std::uint64_t h = kFnvOffset;
    const auto fields = static_cast<int>(texts.size());
    for (int i = 0; i < fields; ++i) {
        if (i == skipField) {
            continue;
        }
        const std::string& text = texts[static_cast<std::size_t>(i)];
        // The length goes in first, so that moving bytes between neighbouring fields changes the hash.
        const auto size = static_cast<std::uint32_t>(text.size());
        const char sizeBytes[4] = {static_cast<char>(size), static_cast<char>(size >> 8), static_cast<char>(size >> 16),
                                   static_cast<char>(size >> 24)};
        hashBytes(h, sizeBytes, sizeof sizeBytes);
        hashBytes(h, text.data(), text.size());
    }
    return h;
}

RecordPrint::RecordPrint(const std::vector<std::string>& fieldNames, const std::vector<std::string>& skipNames)
{
    for (std::size_t i = 0; i < fieldNames.size(); ++i) {
        std::string name = cp932::toUpperAscii(fieldNames[i]);
        const bool skipped = std::any_of(skipNames.begin(), skipNames.end(),
                                         [&name](const std::string& s) { return cp932::equalsNoCase(s, name); });
        if (!skipped) {
            m_order.emplace_back(static_cast<int>(i), std::move(name));
        }
    }
    // Fields of the same name keep their own order.
    std::stable_sort(m_order.begin(), m_order.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
}

std::vector<std::string> fieldNamesOf(const LogTable& table)
{
    std::vector<std::string> names;
    for (int i = 0; table.IsOpen() && i < table.FieldCount(); ++i) {
        names.push_back(table.FieldName(i));
    }
    return names;
}

RecordPrint::RecordPrint(const LogTable& table, const std::vector<std::string>& skipNames)
    : RecordPrint(fieldNamesOf(table), skipNames)
{
}

std::uint64_t RecordPrint::operator()(const std::vector<std::string>& texts) const
{
    std::uint64_t h = kFnvOffset;
    for (const auto& [field, name] : m_order) {
        const auto at = static_cast<std::size_t>(field);
        if (at >= texts.size() || texts[at].empty()) {
            continue; // an empty field and a missing one are the same
        }
        const std::string& text = texts[at];
        // Name and text each with its length first, so that moving bytes between them changes the hash.
        for (const std::string* part : {&name, &text}) {
            const auto size = static_cast<std::uint32_t>(part->size());
            const char sizeBytes[4] = {static_cast<char>(size), static_cast<char>(size >> 8),
                                       static_cast<char>(size >> 16), static_cast<char>(size >> 24)};
            hashBytes(h, sizeBytes, sizeof sizeBytes);
            hashBytes(h, part->data(), part->size());
        }
    }
    return h;
}

std::vector<std::string> WrittenFieldNames(const LogTable& table, int sendField)
{
    std::vector<std::string> names;
    if (table.IsOpen() && sendField >= 0 && sendField < table.FieldCount()) {
        names.push_back(table.FieldName(sendField));
    }
    const std::string date = table.sendMarkRule().dateField;
    if (!date.empty()) {
        names.push_back(date);
    }
    return names;
}

/** What the last transfer handed over: the table, and each passed position with its record's fingerprint. */
struct CardLink::HandedOver
{
    /** The table's path: a file saved anew under it by another program is still the log handed over. */
    std::string path;
    /** The fields left out of the fingerprints: those the update writes, named as at the transfer. */
    std::vector<std::string> skipNames;
    struct Passed
    {
        long position;
        std::uint64_t fingerprint;
        std::string call; ///< the card's call sign, to name a record left unmarked (CP932)
    };
    /** Ascending by position: the walk goes in table order. */
    std::vector<Passed> records;

    const Passed* at(long position) const
    {
        auto it = std::lower_bound(records.begin(), records.end(), position,
                                   [](const Passed& r, long p) { return r.position < p; });
        return it != records.end() && it->position == position ? &*it : nullptr;
    }
};

namespace {

/** Where the records of the open table are by fingerprint, read once when a printed record is not at its position. */
class PrintIndex
{
public:
    static constexpr long kNone = -1;
    static constexpr long kSeveral = -2;

    PrintIndex(LogTable& table, const RecordPrint& print)
        : m_table(table)
        , m_print(print)
    {
    }
    /** The one record with @p fingerprint, kNone or kSeveral. Moves the table. */
    long find(std::uint64_t fingerprint)
    {
        if (!m_built) {
            m_built = true;
            std::vector<std::string> texts;
            for (m_table.MoveFirst(); !m_table.AtEnd(); m_table.MoveNext()) {
                m_table.FieldTexts(texts);
                const auto [it, added] = m_where.emplace(m_print(texts), m_table.RecNo());
                if (!added) {
                    it->second = kSeveral;
                }
            }
        }
        const auto it = m_where.find(fingerprint);
        return it == m_where.end() ? kNone : it->second;
    }

private:
    LogTable& m_table;
    const RecordPrint& m_print;
    bool m_built = false;
    std::unordered_map<std::uint64_t, long> m_where;
};

/** Lines that name the records left unmarked, at most a screenful. */
QString unmarkedLines(const std::vector<QString>& lines)
{
    constexpr std::size_t kShown = 20;
    QStringList shown;
    for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) {
        shown << lines[i];
    }
    if (lines.size() > kShown) {
        shown << QStringLiteral("ほか %1 件").arg(lines.size() - kShown);
    }
    return shown.join(QStringLiteral("\r\n"));
}

} // namespace

CardLink::CardLink(CardAutomationFactory factory)
    : m_factory(factory ? std::move(factory) : CardAutomationFactory(&CardLink::sessionBusAutomation))
    , m_handed(std::make_unique<HandedOver>())
{
}

CardLink::~CardLink() = default;

std::unique_ptr<CardAutomation> CardLink::sessionBusAutomation()
{
    QString why;
    auto created = DBusCardAutomation::create(QDBusConnection::sessionBus(), cardbus::kService, &why);
    if (!created) {
        throw KelboError(why.toStdString());
    }
    return created;
}

CardAutomation& CardLink::cardo()
{
    if (!m_automation) {
        throw KelboError(cardtext::kCannotStart.toStdString());
    }
    return *m_automation;
}

void CardLink::TransferRecords(CardLinkContext& ctx)
{
    LogTable& table = ctx.table;
    if (!table.IsOpen()) {
        return;
    }
    const BusyScope busy(m_busy);
    if (ctx.sendFieldIndex < 0) {
        if (ctx.ui.YesNoBox(cardtext::kNoSendEntry) != Answer::Yes) {
            return;
        }
    } else if (ctx.sendFieldIndex >= table.FieldCount()) {
        if (ctx.ui.YesNoBox(cardtext::kBadSendEntry) != Answer::Yes) {
            return;
        }
    }

    if (ctx.sendFieldIndex >= 0 && ctx.sendFieldIndex < table.FieldCount()) {
        const SendMarkRule rule = table.sendMarkRule();
        const std::string mark = rule.mark.empty() ? ctx.sendMark : rule.mark;
        const std::size_t width = table.FieldWidth(ctx.sendFieldIndex);
        if (!markFits(mark, width)
            && ctx.ui.YesNoBox(cardtext::kMarkTooLong.arg(cp932::toUnicode(mark)).arg(width) + cardtext::kForce)
                != Answer::Yes) {
            return;
        }
    }

    std::unique_ptr<CardAutomation> created;
    QString why;
    try {
        created = m_factory();
    } catch (const std::exception& e) {
        created.reset();
        why = QString::fromUtf8(e.what());
    }
    if (!created) {
        // The first line of the reason says what is wrong and what to do; the bus's detail goes to the log.
        if (!why.isEmpty()) {
            std::fprintf(stderr, "KELBO: %s\n", qPrintable(why.simplified()));
        }
        ctx.ui.ErrorBox(why.isEmpty()
                            ? cardtext::kCannotStart
                            : cardtext::kCannotStart + QLatin1Char('\n') + why.section(QLatin1Char('\n'), 0, 0));
        return;
    }
    m_automation = std::move(created);

    try {
        CardAutomation& c = *m_automation;
        c.call(QStringLiteral("ShowWindow"), {5});
        c.put(QStringLiteral("Modified"), 0);
        c.call(QStringLiteral("NewDoc"));
        c.put(QStringLiteral("DisableExit"), 3);
        c.put(QStringLiteral("EnableLogFile"), 0);

        ProgressScope progress(ctx.ui, cardtext::kTransferring);
        const WaitScope wait(ctx.ui);
        c.call(QStringLiteral("DeleteLog"));

        // From here on the card program holds only what this walk hands over.
        m_handed->path = table.FilePath();
        m_handed->records.clear();
        const std::string ownSendField = table.sendMarkRule().sendField;
        m_handed->skipNames
            = WrittenFieldNames(table, ownSendField.empty() ? ctx.sendFieldIndex : fieldNamed(table, ownSendField));
        const RecordPrint print(table, m_handed->skipNames);

        DetachScope detached(table);
        const long records = table.RecordCount();
        for (TransferWalk walk(table, ctx.defs, ctx.utcToJst, ctx.allSend); walk.next();) {
            m_handed->records.push_back({walk.position(), print(walk.texts()), walk.record().Call});
            // One line at a time, each answered before the next is sent: after a refused line the card program
            // receives nothing more, so it never holds a line whose print goes unpolled.
            c.call(QStringLiteral("AddLogPos"), {cp932::toUnicode(walk.line()), static_cast<int>(walk.position())});
            ctx.ui.progressStep(walk.position() + 1, records);
        }
        c.call(QStringLiteral("SetPrintMax"));
        progress.close();
        c.call(QStringLiteral("Foreground"));
        c.call(QStringLiteral("DoLogList"));

        ctx.printPhase = 0;
        detached.attach();
        ctx.ui.startPollTimer();
        m_transferred = true;
        m_polling = true;
    } catch (...) {
        // A card program that failed here is not asked again until the next transfer.
        m_polling = false;
        throw;
    }
}

void CardLink::TimerTimer(CardLinkContext& ctx)
{
    if (m_busy || !m_polling || !ctx.table.IsOpen() || ctx.sendFieldIndex == -1 || ctx.printPhase != 0) {
        return;
    }
    const BusyScope busy(m_busy);
    int status = 0;
    try {
        status = cardo().get(QStringLiteral("PrintStat"));
        m_pollFailing = false;
    } catch (...) {
        // The poll goes on, so that a print reported later is still asked about; the failure is shown once, not
        // at every tick. A card program that has left the bus holds nothing more to ask about.
        if (cardo().gone()) {
            m_polling = false;
        }
        if (m_pollFailing) {
            return;
        }
        m_pollFailing = true;
        throw;
    }
    if (status == 2) {
        ctx.printPhase = 2;
        UpdateSendMarks(ctx, true);
    }
}

Answer CardLink::UpdateSendMarks(CardLinkContext& ctx, bool fromTimer)
{
    if (ctx.sendFieldIndex == -1 || ctx.printPhase != 2) {
        return Answer::Yes;
    }
    const Answer answer
        = fromTimer ? ctx.ui.YesNoBox(cardtext::kAskUpdate) : ctx.ui.YesNoCancelBox(cardtext::kAskUpdate);
    if (answer != Answer::Yes) {
        return answer;
    }
    LogTable& table = ctx.table;
    // The log format may have its own mark (ADIF: Y, dated in QSL_SDATE), its own "not yet sent" and its own send
    // field, found by its name wherever the log has it now.
    const SendMarkRule rule = table.sendMarkRule();
    const int sendField = rule.sendField.empty() ? ctx.sendFieldIndex : fieldNamed(table, rule.sendField);
    if (sendField < 0 || sendField >= table.FieldCount()) {
        ctx.ui.WarningBox(cardtext::kBadSendUpdate);
        return Answer::Yes;
    }
    if (!table.IsOpen() || table.FilePath() != m_handed->path) {
        ctx.ui.WarningBox(cardtext::kOtherTable);
        return Answer::Yes;
    }
    const std::string mark = rule.mark.empty() ? ctx.sendMark : rule.mark;
    const std::size_t width = table.FieldWidth(sendField);
    if (!markFits(mark, width)) {
        ctx.ui.WarningBox(cardtext::kMarkTooLong.arg(cp932::toUnicode(mark)).arg(width) + cardtext::kUpdateFailed);
        return Answer::Yes;
    }

    const BusyScope busy(m_busy);
    const int dateField = fieldNamed(table, rule.dateField);
    const std::string today = dateField >= 0 ? utcDay() : std::string();
    std::vector<QString> notFound;
    std::vector<QString> refused;
    std::vector<SendMarkUndo::Mark> written;
    {
        const WaitScope wait(ctx.ui);
        ProgressScope progress(ctx.ui, cardtext::kUpdating);
        DetachScope detached(table);
        CardAutomation& c = cardo();
        const int count = c.get(QStringLiteral("GetLogCount"));
        const auto handed = static_cast<long>(m_handed->records.size());
        if (count < 0 || count > handed) {
            throw KelboError(cardtext::kBadCount.arg(count).arg(handed).toStdString());
        }
        const std::vector<int> printed = c.getEach(QStringLiteral("GetPrintedPos"), count);
        // Every position is checked before anything is written: a card program that reports what it was never
        // given cannot be trusted with the rest either.
        for (const int p : printed) {
            if (p != -1 && !m_handed->at(p)) {
                throw KelboError(cardtext::kNotHandedOver.arg(p).toStdString());
            }
        }

        // One open, one lock and one sync for all the marks. A record the table refuses for what it holds is left as
        // it is and named, unless no printed record could be found and marked at all: then the refusal ends the
        // update, which stays pending. Any other failure ends the update at once; the marks before it stay.
        WriteBatch batch(table);
        const RecordPrint print(table, m_handed->skipNames);
        PrintIndex index(table, print);
        std::unordered_set<long> taken; // records marked (or found) by this update: no second printed record goes there
        std::exception_ptr firstRefusal;
        table.MoveFirst();
        long last = 0;
        long done = 0;
        const long total = static_cast<long>(printed.size() - std::count(printed.begin(), printed.end(), -1));
        std::vector<std::string> texts;
        const auto name = [](const HandedOver::Passed& r) {
            return QStringLiteral("%1 (%2)").arg(cp932::toUnicode(r.call)).arg(r.position + 1);
        };
        for (const int p : printed) {
            if (p == -1) {
                continue;
            }
            ctx.ui.progressStep(++done, total);
            const HandedOver::Passed& passed = *m_handed->at(p);
            // The record at its position, or else the one record anywhere in the table with its fingerprint.
            long target = -1;
            table.MoveBy(p - last);
            // A move stops at either end of a table that shrank: go on from where the table really stands.
            last = table.RecNo();
            if (last == p && !table.AtEnd()) {
                table.FieldTexts(texts);
                if (print(texts) == passed.fingerprint) {
                    target = p;
                }
            }
            if (target < 0) {
                const long found = index.find(passed.fingerprint);
                if (found >= 0) {
                    target = found;
                    table.MoveTo(target);
                    table.FieldTexts(texts);
                }
                last = table.RecNo();
            }
            if (target < 0 || !taken.insert(target).second) {
                notFound.push_back(name(passed));
                continue;
            }
            const std::string text = texts[static_cast<std::size_t>(sendField)];
            if (!rule.isUnsent(text)) {
                continue;
            }
            const std::string date = dateField >= 0 ? texts[static_cast<std::size_t>(dateField)] : std::string();
            try {
                table.EditRecord();
                table.SetFieldText(sendField, mark);
                if (dateField >= 0 && dateField != sendField) {
                    table.SetFieldText(dateField, today);
                }
                table.Post();
            } catch (const RecordRefusedError& e) {
                if (!firstRefusal) {
                    firstRefusal = std::current_exception();
                }
                refused.push_back(name(passed) + QStringLiteral(": ") + QString::fromUtf8(e.what()));
                continue;
            }
            written.push_back({target, text, passed.fingerprint, date});
        }
        if (firstRefusal && static_cast<std::size_t>(taken.size()) == refused.size()) {
            std::rethrow_exception(firstRefusal);
        }
        table.MoveFirst();
        batch.end();
        detached.attach();
        progress.close();

        c.call(QStringLiteral("DeletePrintedData"));
        c.put(QStringLiteral("PrintStat"), 0);
        ctx.printPhase = 0;
    }
    ctx.ui.marksWritten(written);
    if (!notFound.empty() || !refused.empty()) {
        QString text;
        if (!notFound.empty()) {
            text = cardtext::kLeftUnmarked.arg(notFound.size());
        }
        if (!refused.empty()) {
            text += (text.isEmpty() ? QString() : QStringLiteral("\r\n"))
                + cardtext::kRefusedUnmarked.arg(refused.size());
        }
        std::vector<QString> lines = notFound;
        lines.insert(lines.end(), refused.begin(), refused.end());
        ctx.ui.WarningBox(text + cardtext::kUnmarkedList.arg(unmarkedLines(lines)));
    }
    return Answer::Yes;
}

bool CardLink::CloseSendMarks(CardLinkContext& ctx)
{
    if (!ctx.table.IsOpen()) {
        return true;
    }
    if (m_busy) {
        // A close asked for while a call to the card program waits: that work ends first.
        return false;
    }
    const BusyScope busy(m_busy);
    const bool canAsk = ctx.sendFieldIndex != -1;
    if (canAsk && ctx.printPhase == 0 && m_transferred && !gone()) {
        // Lines printed since the last tick, or while the poll failed, are asked about before they are dropped.
        bool printing = false;
        try {
            const WaitScope wait(ctx.ui);
            const int stat = cardo().get(QStringLiteral("PrintStat"));
            if (stat == 2) {
                ctx.printPhase = 2;
            }
            // 1: a print job has not ended yet. Closing now would leave its cards without their marks.
            printing = stat == 1;
        } catch (const std::exception& e) {
            if (!gone()) {
                // Whatever the card program holds stays there: the window stays open and the next close asks again.
                ctx.ui.ShowError(cardtext::kCloseStatusFailed.arg(QString::fromUtf8(e.what())));
                return false;
            }
        }
        if (gone()) {
            ctx.ui.WarningBox(cardtext::kGoneUnasked);
            return true;
        }
        if (printing) {
            ctx.ui.WarningBox(QStringLiteral("CARDOがカードを印刷中です.\r\n\r\n印刷が終わってから閉じてください."));
            return false;
        }
    } else if (canAsk && ctx.printPhase == 0 && m_transferred && gone()) {
        ctx.ui.WarningBox(cardtext::kGoneUnasked);
        return true;
    }
    if (canAsk && ctx.printPhase == 2 && gone()) {
        ctx.ui.WarningBox(cardtext::kGoneUnmarked);
        return true;
    }
    Answer answer = Answer::Yes;
    try {
        answer = UpdateSendMarks(ctx, false);
    } catch (const std::exception& e) {
        // The marks are not written: the window stays open and the question comes again at the next close.
        ctx.ui.ShowError(QString::fromUtf8(e.what()));
        return false;
    }
    if (answer == Answer::Cancel) {
        return false;
    }
    if (answer == Answer::Yes && ctx.printPhase == 2) {
        // The update was wanted but did not happen (a warning said why): the printed list is kept.
        return false;
    }
    if (m_transferred && !gone()) {
        try {
            const WaitScope wait(ctx.ui);
            cardo().call(QStringLiteral("DeleteLog"));
        } catch (const std::exception& e) {
            // A card program that stopped answering must not keep the window open.
            ctx.ui.ShowError(QString::fromUtf8(e.what()));
        }
    }
    return true;
}
