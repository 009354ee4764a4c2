#include "CardoApplication.h"

#include "BureauOrder.h"
#include "CardCheck.h"

#include <QBrush>
#include <QColor>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <unistd.h>
#include <unordered_set>

HeldLinesModel::HeldLinesModel(const std::vector<HeldLine>& lines, const CardSettings& settings, QObject* parent)
    : QAbstractTableModel(parent)
    , m_lines(lines)
    , m_settings(settings)
{
}

int HeldLinesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int HeldLinesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HeldLinesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown) {
        return {};
    }
    const HeldLine& l = m_lines[static_cast<std::size_t>(index.row())];
    const Contact& c = l.contact;
    if (role == Qt::BackgroundRole) {
        if (l.pending) {
            return QVariant(QBrush(QColor(255, 243, 205)));
        }
        return l.printed ? QVariant(QBrush(QColor(222, 238, 222))) : QVariant();
    }
    if (role == Qt::ForegroundRole) {
        // A contact that gets no card is drawn subdued.
        return !l.printed && m_settings.leaveOutElectronic && !l.noCard.isEmpty() ? QVariant(QColor(Qt::gray))
                                                                                  : QVariant();
    }
    if (role == Qt::TextAlignmentRole) {
        const bool centred
            = index.column() == State || index.column() == Rst || index.column() == Mode || index.column() == Marks;
        return QVariant::fromValue(Qt::AlignVCenter | (centred ? Qt::AlignHCenter : Qt::AlignLeft));
    }
    if (role == SortRole) {
        switch (index.column()) {
        case State:
            return l.printed ? 2 : l.pending ? 1 : 0;
        case Bundle:
        case Date:
            return (c.date.isValid() ? c.date.toString(Qt::ISODate) : c.dateText) + c.time;
        case Call:
            return l.bureauKey;
        case Freq:
            return c.freq.toDouble();
        default:
            break;
        }
    } else if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    if (role == Qt::ToolTipRole && index.column() == Qsl) {
        return c.ok ? c.qsl : c.line; // the QSL text as it came, VIA texts that name no manager nor route included
    }
    if (!c.ok) {
        // A line of another shape shows as it came.
        if (index.column() == State) {
            return role == Qt::ToolTipRole ? l.problem : QStringLiteral("不備");
        }
        return index.column() == Qsl ? c.line : QString();
    }
    switch (index.column()) {
    case State: {
        if (l.printed || l.pending) {
            return l.printed ? QStringLiteral("印刷済") : QStringLiteral("印刷中");
        }
        if (!l.problem.isEmpty()) {
            return role == Qt::ToolTipRole ? l.problem : QStringLiteral("不備");
        }
        const QString reason = m_settings.leaveOutElectronic ? l.noCard : QString();
        return reason.isEmpty() ? QString() : QStringLiteral("印刷しない (%1)").arg(reason);
    }
    case Bundle:
        return l.bundle;
    case Date:
        return c.date.isValid() ? c.date.toString(Qt::ISODate) : c.dateText;
    case Time:
        return formatTime(c.time);
    case Call:
        return c.call;
    case Rst:
        return c.rst;
    case Freq:
        return c.freq;
    case Mode:
        return c.mode;
    case Power:
        return c.power;
    case Name:
        return c.name;
    case Qth:
        return c.qth;
    case Qsl: {
        // As the card prints it: the manager or the route, then the remarks without their labels.
        const QslText q = splitQslText(c.qsl);
        const QString where = q.via.isEmpty() ? routeText(q.route) : QStringLiteral("via ") + q.via;
        return QStringList({where, q.remarks}).join(QStringLiteral("  ")).trimmed();
    }
    case Marks: {
        const QString send = c.sendMark.trimmed();
        const QString recv = c.recvMark.trimmed();
        if (send.isEmpty() && recv.isEmpty()) {
            return QString();
        }
        return QStringLiteral("%1 / %2").arg(send.isEmpty() ? QStringLiteral("-") : send,
                                             recv.isEmpty() ? QStringLiteral("-") : recv);
    }
    default:
        return {};
    }
}

QVariant HeldLinesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (section == Time) {
        return QStringLiteral("時刻(JST)"); // as the lines carry it; the cards convert it
    }
    static const char* const titles[] = {"状態",   "仕分け", "日付", "時刻", "コールサイン", "RST",      "MHz",
                                         "モード", "電力",   "名前", "QTH",  "QSL",          "発送/受領"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(titles[section]) : QVariant();
}

void HeldLinesModel::sync()
{
    const int held = static_cast<int>(m_lines.size());
    if (held < m_shown) {
        reload();
    } else if (held > m_shown) {
        beginInsertRows(QModelIndex(), m_shown, held - 1);
        m_shown = held;
        endInsertRows();
    }
}

void HeldLinesModel::reload()
{
    beginResetModel();
    m_shown = static_cast<int>(m_lines.size());
    endResetModel();
}

void HeldLinesModel::refresh(int first, int last)
{
    if (first <= last && last < m_shown) {
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    }
}

QString cardsFolder()
{
    const QString dir = qEnvironmentVariable("KELBO_CARDPRINTER_PDF_DIR");
    return dir.isEmpty() ? QDir::homePath() : dir;
}

CardoApplication::CardoApplication(const QString& settingsPath, QObject* parent)
    : QObject(parent)
    , m_settingsPath(settingsPath.isEmpty() ? cardSettingsPath() : settingsPath)
    , m_settings(loadCardSettings(m_settingsPath, &m_settingsDamage))
    , m_model(m_lines, m_settings)
{
    // The country file sorts foreign cards by DXCC entity; $KELBO_COUNTRY_FILE names another than Debian's.
    const QString countries = qEnvironmentVariable("KELBO_COUNTRY_FILE", CountryFile::defaultPath());
    CountryFile file;
    QString error;
    if (file.load(countries, &error)) {
        m_bureau = BureauOrder(std::move(file));
    } else {
        m_countryNote = error + QStringLiteral(" 海外局はプリフィックスの順に並べます.");
    }
    bool pollOk = false;
    const int poll = qEnvironmentVariable("KELBO_CARDPRINTER_JOB_POLL_MS").toInt(&pollOk);
    m_follow.setInterval(pollOk && poll > 0 ? poll : 1000);
    connect(&m_follow, &QTimer::timeout, this, &CardoApplication::followJob);
    bool ok = false;
    const long exitAfter = qEnvironmentVariable("KELBO_CARDPRINTER_EXIT_AFTER_LINES").toLong(&ok);
    if (ok) {
        m_exitAfterLines = exitAfter;
    }
}

bool CardoApplication::setSettings(const CardSettings& s)
{
    m_settings = s;
    m_model.reload();
    const bool saved = saveCardSettings(m_settings, m_settingsPath);
    if (saved) {
        // The operator has set the next number again: the file is whole once more.
        m_settingsDamage.clear();
    }
    emit changed();
    return saved;
}

void CardoApplication::ShowWindow(int how)
{
    emit showRequested(how != 0);
}

void CardoApplication::NewDoc()
{
    if (refusedWhileHeld()) {
        return;
    }
    m_printStat = 0;
}

void CardoApplication::DeleteLog()
{
    if (refusedWhileHeld() || refuseWhilePrinting("DeleteLog")) {
        return;
    }
    m_holder.clear();
    m_lines.clear();
    m_printedCount = 0;
    m_model.reload();
    emit changed();
}

void CardoApplication::AddLogPos(const QString& line, int position)
{
    if (m_exitAfterLines >= 0 && static_cast<long>(m_lines.size()) >= m_exitAfterLines) {
        // Test hook: behave like a card program that crashes in the middle of a transfer.
        ::_exit(3);
    }
    if (refusedWhileHeld()) {
        return;
    }
    holdForCaller();
    HeldLine held;
    held.contact = parseContact(line);
    const QslText qsl = splitQslText(held.contact.qsl);
    const BureauPlace place = m_bureau.place(held.contact.call, qsl.via);
    held.noCard = held.contact.ok ? leftOutReason(qsl) : QString();
    held.bureauKey = place.key;
    held.bundle = place.bundle;
    held.problem = contactProblem(held.contact);
    held.position = position;
    held.serial = m_nextSerial++;
    m_lines.push_back(std::move(held));
    scheduleSync();
}

void CardoApplication::SetPrintMax()
{
    // Nothing is chosen for the operator: a big transfer must not print thousands of cards with one click.
    m_model.sync();
    emit changed();
}

void CardoApplication::Foreground()
{
    emit foregroundRequested();
}

void CardoApplication::DoLogList()
{
    m_model.sync();
    emit linesArrived();
    emit changed();
}

int CardoApplication::GetPrintedPos(int index)
{
    if (refusedWhileHeld()) {
        return -1;
    }
    if (index < 0 || index >= logCount()) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no line %1 (%2 held)").arg(index).arg(logCount()));
        return -1;
    }
    const HeldLine& l = m_lines[static_cast<std::size_t>(index)];
    return l.printed ? l.position : -1;
}

void CardoApplication::DeletePrintedData()
{
    if (refusedWhileHeld() || refuseWhilePrinting("DeletePrintedData")) {
        return;
    }
    m_lines.erase(std::remove_if(m_lines.begin(), m_lines.end(), [](const HeldLine& l) { return l.printed; }),
                  m_lines.end());
    m_printedCount = 0;
    m_model.reload();
    emit changed();
}

QString CardoApplication::PrintLines(const QList<int>& indexes)
{
    QString error;
    const QString path = printRows(indexes, &error);
    if (path.isEmpty() && calledFromDBus()) {
        sendErrorReply(QDBusError::InvalidArgs, error);
    }
    return path;
}

QList<int> CardoApplication::printOrder(QList<int> rows) const
{
    if (m_settings.bureauOrder) {
        std::stable_sort(rows.begin(), rows.end(), [this](int a, int b) {
            return m_lines[static_cast<std::size_t>(a)].bureauKey < m_lines[static_cast<std::size_t>(b)].bureauKey;
        });
    }
    return rows;
}

QString CardoApplication::leftOut(int row) const
{
    return m_settings.leaveOutElectronic ? m_lines[static_cast<std::size_t>(row)].noCard : QString();
}

std::vector<Card> CardoApplication::cardsFor(const QList<int>& rows, int perCard) const
{
    std::vector<Contact> contacts;
    std::vector<qint64> serials;
    for (int r : rows) {
        if (!leftOut(r).isEmpty()) {
            continue; // no card: never reported printed, so the log gets no send mark
        }
        contacts.push_back(m_lines[static_cast<std::size_t>(r)].contact);
        serials.push_back(m_lines[static_cast<std::size_t>(r)].serial);
    }
    std::vector<Card> cards = makeCards(contacts, serials, m_settings, perCard);
    placeCards(cards, m_bureau, m_settings);
    return cards;
}

int CardoApplication::cardsPrinted(const std::vector<Card>& cards)
{
    // The log program may have dropped or replaced lines while the print dialog was open: the lines are found by
    // their serial numbers, and a line no longer held is never reported as printed.
    std::unordered_set<qint64> printed;
    for (const Card& card : cards) {
        printed.insert(card.lines.begin(), card.lines.end());
    }
    m_model.sync();
    int marked = 0;
    int first = -1;
    int last = -1;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        HeldLine& l = m_lines[i];
        if (printed.count(l.serial) == 0) {
            continue;
        }
        ++marked;
        if (!l.printed) {
            l.printed = true;
            ++m_printedCount;
        }
        first = first < 0 ? static_cast<int>(i) : first;
        last = static_cast<int>(i);
    }
    // One change for the whole range: a sorted view takes it up in one step.
    m_model.refresh(first, last);
    if (marked > 0) {
        m_printStat = 2;
    }
    emit changed();
    return marked;
}

QString CardoApplication::printRows(const QList<int>& rows, QString* error)
{
    *error = checkRows(rows);
    if (!error->isEmpty()) {
        return QString();
    }
    const std::vector<Card> cards = cardsFor(printOrder(rows));
    if (cards.empty()) {
        *error = QStringLiteral("選んだ行はどれも印刷しない交信です (電子QSLのみ / NO QSL).");
        return QString();
    }
    const QString folder = cardsFolder();
    QDir().mkpath(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path = QDir(folder).filePath(QStringLiteral("KELBO-cards-%1.pdf").arg(stamp));
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = QDir(folder).filePath(QStringLiteral("KELBO-cards-%1-%2.pdf").arg(stamp).arg(n));
    }
    PrintTarget target;
    target.file = path;
    if (!print(cards, target, error)) {
        return QString();
    }
    emit status(QStringLiteral("%1 枚のカードを %2 に書き出しました.").arg(cards.size()).arg(path));
    return path;
}

bool CardoApplication::refusedWhileHeld() const
{
    // One client at a time: the held lines, their print report and printed positions belong to the client that handed
    // them over, and another one must never take them for its own: a second log program is refused from its first
    // NewDoc on, so it never starts a transfer, polls or marks. A script's calls, or a client that comes after the
    // holder left, go through; so does printing (PrintLines, the print button), which prints for whoever holds them.
    // Property reads and writes carry no caller in Qt's dispatch and are not checked here.
    if (!calledFromDBus() || m_holder.isEmpty() || m_lines.empty()) {
        return false;
    }
    const QString caller = message().service();
    if (caller == m_holder) {
        return false;
    }
    const QDBusConnectionInterface* bus = connection().interface();
    if (bus == nullptr || !bus->isServiceRegistered(m_holder).value()) {
        // The holder's connection ended: its lines stay, but lock nothing any more.
        return false;
    }
    sendErrorReply(QStringLiteral("CARDO.Application.Error.InUse"),
                   QStringLiteral("別のKELBOがCARDOを使用中です. そのKELBOでの印刷と送信マークの更新が終わってから, "
                                  "もう一度やり直してください."));
    return true;
}

void CardoApplication::holdForCaller()
{
    if (calledFromDBus()) {
        m_holder = message().service();
    }
}

void CardoApplication::scheduleSync()
{
    if (m_syncPending) {
        return;
    }
    m_syncPending = true;
    // Take up a run of appended lines in one step once the calls pause.
    QTimer::singleShot(200, this, [this] {
        m_syncPending = false;
        m_model.sync();
        emit changed();
    });
}
