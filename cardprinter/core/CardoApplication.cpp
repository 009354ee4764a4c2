#include "CardoApplication.h"

#include "BureauOrder.h"

#include <QBrush>
#include <QColor>
#include <QDBusError>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
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
        return index.column() == Qsl ? c.line : QString();
    }
    switch (index.column()) {
    case State: {
        if (l.printed || l.pending) {
            return l.printed ? QStringLiteral("印刷済") : QStringLiteral("印刷中");
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

void CardoApplication::rememberPrinter(const QString& printer)
{
    m_settings.printer = printer;
    savePrinter(printer, m_settingsPath);
}

QString CardoApplication::jobText() const
{
    if (!m_job) {
        return QString();
    }
    return QStringLiteral("%1-%2: %3").arg(m_job->printer).arg(m_job->id).arg(jobStateText(m_job->state));
}

bool CardoApplication::refuseWhilePrinting(const char* what)
{
    if (!m_job) {
        return false;
    }
    // The lines on a job that has not ended must stay: dropping them would lose the report of cards that come out.
    const QString text = QStringLiteral("カードを印刷中です (ジョブ %1). 印刷が終わるまで %2 はできません.")
                             .arg(jobText(), QString::fromLatin1(what));
    if (calledFromDBus()) {
        sendErrorReply(QStringLiteral("CARDO.Error.PrintPending"), text);
    }
    emit status(text);
    return true;
}

void CardoApplication::ShowWindow(int how)
{
    emit showRequested(how != 0);
}

void CardoApplication::NewDoc()
{
    m_printStat = 0;
}

void CardoApplication::DeleteLog()
{
    if (refuseWhilePrinting("DeleteLog")) {
        return;
    }
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
    HeldLine held;
    held.contact = parseContact(line);
    const QslText qsl = splitQslText(held.contact.qsl);
    const BureauPlace place = m_bureau.place(held.contact.call, qsl.via);
    held.noCard = held.contact.ok ? leftOutReason(qsl) : QString();
    held.bureauKey = place.key;
    held.bundle = place.bundle;
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
    if (index < 0 || index >= logCount()) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no line %1 (%2 held)").arg(index).arg(logCount()));
        return -1;
    }
    const HeldLine& l = m_lines[static_cast<std::size_t>(index)];
    return l.printed ? l.position : -1;
}

void CardoApplication::DeletePrintedData()
{
    if (refuseWhilePrinting("DeletePrintedData")) {
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

QString CardoApplication::PrintLinesOn(const QList<int>& indexes, const QString& printer)
{
    QString error = checkRows(indexes);
    PrintTarget target;
    target.printer = printer;
    if (error.isEmpty() && print(cardsFor(printOrder(indexes)), target, &error)) {
        return QStringLiteral("%1-%2").arg(m_job->printer).arg(m_job->id);
    }
    if (calledFromDBus()) {
        sendErrorReply(QDBusError::Failed, error);
    }
    return QString();
}

QString CardoApplication::checkRows(const QList<int>& rows) const
{
    if (rows.isEmpty()) {
        return QStringLiteral("no line chosen");
    }
    for (int r : rows) {
        if (r < 0 || r >= logCount()) {
            return QStringLiteral("no line %1 (%2 held)").arg(r).arg(logCount());
        }
    }
    return QString();
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

std::vector<Card> CardoApplication::cardsFor(const QList<int>& rows) const
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
    std::vector<Card> cards = makeCards(contacts, serials, m_settings);
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

void CardoApplication::setPending(const std::vector<Card>& cards, bool pending)
{
    std::unordered_set<qint64> on;
    for (const Card& card : cards) {
        on.insert(card.lines.begin(), card.lines.end());
    }
    int first = -1;
    int last = -1;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (on.count(m_lines[i].serial) != 0) {
            m_lines[i].pending = pending;
            first = first < 0 ? static_cast<int>(i) : first;
            last = static_cast<int>(i);
        }
    }
    m_model.refresh(first, last);
}

QString CardoApplication::giveBackNumbers(int first, int count)
{
    if (m_settings.nextCardNumber != first + count) {
        // Later numbers were set meanwhile: these stay unused rather than ever being printed twice.
        return QStringLiteral("カード番号 %1〜%2 は使われません.").arg(first).arg(first + count - 1);
    }
    if (!saveNextCardNumber(first, m_settingsPath)) {
        return QStringLiteral("カード番号 %1〜%2 は使われません (設定ファイルに書き込めません).")
            .arg(first)
            .arg(first + count - 1);
    }
    m_settings.nextCardNumber = first;
    return QString();
}

namespace {

const QString kLinesReplaced = QStringLiteral("印刷中に KELBO がデータを入れ替えました.\r\n\r\n"
                                              "印刷したカードは KELBO に印刷済みとして伝わりません.");

/** Pages of a PDF as it was written: one "/Type /Page" object each. */
int pdfPageCount(const QByteArray& pdf)
{
    int pages = 0;
    for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0; at = pdf.indexOf("/Type /Page", at + 1)) {
        if (pdf.mid(at + 11, 1) != "s") {
            ++pages;
        }
    }
    return pages;
}

/** "" when @p path holds a whole PDF of @p pages pages, else what is wrong with it. */
QString readBackPdf(const QString& path, int pages)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1 を読み返せません.").arg(path);
    }
    const QByteArray pdf = f.readAll();
    if (!pdf.startsWith("%PDF-") || !pdf.right(64).contains("%%EOF") || pdfPageCount(pdf) != pages) {
        return QStringLiteral("%1 が正しく書けていません.").arg(path);
    }
    return QString();
}

} // namespace

bool CardoApplication::print(std::vector<Card> cards, const PrintTarget& target, QString* message)
{
    if (cards.empty()) {
        *message = QStringLiteral("印刷するカードがありません.");
        return false;
    }
    if (m_job) {
        *message = QStringLiteral("前の印刷ジョブ (%1) が終わるまでお待ちください.").arg(jobText());
        return false;
    }
    if (!m_settingsDamage.isEmpty()) {
        *message
            = m_settingsDamage
            + QStringLiteral(
                  "\r\n\r\nカード番号が重複しないよう, 設定... で次のカード番号を確かめて保存するまで印刷しません.");
        return false;
    }
    if (!target.printer.isEmpty() && cupsprint::cardMedia(target.printer) == CardMedia::Refuses) {
        QString sizes;
        cupsprint::cardMedia(target.printer, &sizes);
        *message
            = QStringLiteral("プリンター「%1」ははがき (100 x 148 mm) に印刷できません.\r\n\r\n"
                             "はがきを扱えるプリンターか PDF ファイルを選んでください.\r\n(このプリンターの用紙: %2)")
                  .arg(target.printer, sizes);
        return false;
    }
    const int count = static_cast<int>(cards.size());
    const int first = m_settings.nextCardNumber;
    if (first > kMaxCardNumber - count + 1) {
        *message = QStringLiteral("カード番号が上限 %1 を超えます. 設定... で次のカード番号を直してください.")
                       .arg(kMaxCardNumber);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        cards[static_cast<std::size_t>(i)].number = first + i;
    }
    // The numbers are taken before anything goes out: a card printed while its number could not be kept would
    // give the next card the same number.
    if (!saveNextCardNumber(first + count, m_settingsPath)) {
        *message = QStringLiteral("次のカード番号を設定ファイル %1 に保存できません.\r\n\r\n"
                                  "カード番号が重複しないよう, 何も印刷しませんでした.")
                       .arg(m_settingsPath);
        return false;
    }
    m_settings.nextCardNumber = first + count;

    if (target.printer.isEmpty()) {
        QString error;
        if (!writeCardsPdf(target.file, cards, m_settings, &error)) {
            *message = error;
        } else {
            *message = readBackPdf(target.file, count);
        }
        if (!message->isEmpty()) {
            const QString lost = giveBackNumbers(first, count);
            *message += lost.isEmpty() ? QString() : QStringLiteral("\r\n") + lost;
            return false;
        }
        if (cardsPrinted(cards) == 0) {
            *message = kLinesReplaced;
        }
        return true;
    }

    QTemporaryDir spool;
    const QString pdf = spool.filePath(QStringLiteral("cards.pdf"));
    QString error;
    if (!spool.isValid() || !writeCardsPdf(pdf, cards, m_settings, &error)) {
        *message = error.isEmpty() ? QStringLiteral("一時ファイルを作れません.") : error;
        giveBackNumbers(first, count);
        return false;
    }
    const int id
        = cupsprint::submit(target.printer, pdf, QStringLiteral("QSL cards %1-%2").arg(first).arg(first + count - 1),
                            target.copies, &error);
    if (id == 0) {
        *message = QStringLiteral("プリンター「%1」が印刷を受け付けませんでした: %2").arg(target.printer, error);
        const QString lost = giveBackNumbers(first, count);
        *message += lost.isEmpty() ? QString() : QStringLiteral("\r\n") + lost;
        return false;
    }
    Job job;
    job.printer = target.printer;
    job.id = id;
    job.cards = std::move(cards);
    job.firstNumber = first;
    m_job = std::move(job);
    setPending(m_job->cards, true);
    m_follow.start();
    emit status(QStringLiteral("ジョブ %1 を送りました. 印刷が終わると印刷済になります.").arg(jobText()));
    emit changed();
    return true;
}

void CardoApplication::followJob()
{
    if (!m_job) {
        m_follow.stop();
        return;
    }
    const JobStatus s = cupsprint::status(m_job->printer, m_job->id);
    const QString why = s.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(s.detail);
    switch (s.state) {
    case JobState::Pending:
    case JobState::Processing:
        m_job->unknownPolls = 0;
        if (m_job->state != s.state) {
            m_job->state = s.state;
            emit status(QStringLiteral("ジョブ %1%2").arg(jobText(), why));
        }
        return;
    case JobState::Completed:
        endJob(true, QString());
        return;
    case JobState::Held:
    case JobState::Stopped:
        // A job that waits for someone may come out at any later time, when no one reports it: it is taken back,
        // and the cards are printed again once the printer works.
        m_job->state = s.state;
        cupsprint::cancel(m_job->printer, m_job->id);
        endJob(false,
               QStringLiteral("プリンター「%1」のジョブ %2 が%3になったため取り消しました%4.")
                   .arg(m_job->printer)
                   .arg(m_job->id)
                   .arg(jobStateText(s.state), why));
        return;
    case JobState::Canceled:
    case JobState::Aborted:
        m_job->state = s.state;
        endJob(false,
               QStringLiteral("プリンター「%1」のジョブ %2 は%3されました%4.")
                   .arg(m_job->printer)
                   .arg(m_job->id)
                   .arg(jobStateText(s.state), why));
        return;
    case JobState::Unknown:
        // The print system may be restarting: asked again a few times before the job is given up.
        if (++m_job->unknownPolls < 10) {
            return;
        }
        endJob(false,
               QStringLiteral("プリンター「%1」のジョブ %2 の結果がわかりません%3. 印刷されたか確かめてください.")
                   .arg(m_job->printer)
                   .arg(m_job->id)
                   .arg(why));
        return;
    }
}

void CardoApplication::endJob(bool printed, const QString& message)
{
    m_follow.stop();
    Job job = std::move(*m_job);
    m_job.reset();
    setPending(job.cards, false);
    QString text = message;
    if (printed && cardsPrinted(job.cards) == 0) {
        printed = false;
        text = kLinesReplaced;
    } else if (printed) {
        text = QStringLiteral("ジョブ %1-%2 の %3 枚のカードを印刷しました.")
                   .arg(job.printer)
                   .arg(job.id)
                   .arg(job.cards.size());
    } else {
        const QString lost = giveBackNumbers(job.firstNumber, static_cast<int>(job.cards.size()));
        text += QStringLiteral("\r\n\r\nこのカードは印刷済になりません.")
            + (lost.isEmpty() ? QString() : QStringLiteral("\r\n") + lost);
    }
    emit status(text.section(QStringLiteral("\r\n"), 0, 0));
    emit jobEnded(printed, text);
    emit changed();
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
