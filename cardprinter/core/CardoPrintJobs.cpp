// The print jobs of the card program: the checks before printing, the card numbers taken and given back, and the
// jobs followed on the print system until their cards came out or did not.
#include "CardoApplication.h"

#include "CardCheck.h"
#include "LabelSheetLayout.h"

#include <QDBusError>
#include <QFile>
#include <QTemporaryDir>
#include <unordered_set>

void CardoApplication::rememberPrinter(const QString& printer)
{
    m_settings.printer = printer;
    savePrinter(printer, m_settingsPath);
}

bool CardoApplication::setLabelChoice(const CardSettings& s)
{
    m_settings.printLabels = s.printLabels;
    m_settings.labelSheet = s.labelSheet;
    m_settings.customLabels = s.customLabels;
    m_settings.labelStart = s.labelStart;
    return saveLabelChoice(m_settings, m_settingsPath);
}

void CardoApplication::labelsCameOut(int next)
{
    m_settings.labelStart = next;
    saveLabelChoice(m_settings, m_settingsPath);
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
    // A script gets no card printed from a line that is not fit for one: it names the lines it wants.
    QStringList problems;
    if (printableRows(rows, &problems).size() != rows.size()) {
        return QStringLiteral("印刷できない行があります:\n") + problems.join(QLatin1Char('\n'));
    }
    return QString();
}

QList<int> CardoApplication::printableRows(const QList<int>& rows, QStringList* problems) const
{
    QList<int> out;
    for (int r : rows) {
        const HeldLine& l = m_lines[static_cast<std::size_t>(r)];
        if (m_settings.call.trimmed().isEmpty()) {
            continue;
        }
        if (l.problem.isEmpty()) {
            out << r;
        } else if (problems) {
            const Contact& c = l.contact;
            *problems << (c.ok ? QStringLiteral("%1 %2 %3: %4").arg(c.call, c.dateText, c.time, l.problem)
                               : QStringLiteral("%1: %2").arg(c.line.left(40), l.problem));
        }
    }
    if (m_settings.call.trimmed().isEmpty() && problems) {
        *problems << QStringLiteral("自局のコールサインが設定されていません (設定...)");
    }
    return out;
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
    if (m_settings.call.trimmed().isEmpty()) {
        *message = QStringLiteral("自局のコールサインが設定されていません. 設定... で設定してください.");
        return false;
    }
    for (const Card& card : cards) {
        for (const Contact& c : card.contacts) {
            const QString problem = contactProblem(c);
            if (!problem.isEmpty()) {
                // Never printed raw: a card with a wrong date or time is worse than none.
                *message = QStringLiteral("%1 は印刷できません: %2").arg(c.ok ? c.call : c.line.left(40), problem);
                return false;
            }
        }
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
    if (target.labels) {
        QString bad = target.sheet.problem();
        if (bad.isEmpty() && (target.start < 1 || target.start > target.sheet.cells())) {
            bad = QStringLiteral("開始位置「%1」は使えません. 1〜%2 にしてください.")
                      .arg(target.start)
                      .arg(target.sheet.cells());
        }
        const int room = contactsPerLabel(target.sheet);
        for (const Card& card : cards) {
            if (bad.isEmpty() && static_cast<int>(card.contacts.size()) > room) {
                // A contact that does not come out on its label must never count as printed.
                bad = QStringLiteral("%1 の %2 件の交信はこのラベルに入りきりません (%3 件まで).")
                          .arg(card.contacts.front().call)
                          .arg(card.contacts.size())
                          .arg(room);
            }
        }
        if (!bad.isEmpty()) {
            *message = bad + QStringLiteral("\r\n\r\n何も印刷しませんでした.");
            return false;
        }
    }
    const QString media = target.labels ? target.sheet.media() : QString();
    if (target.labels && !target.printer.isEmpty()
        && cupsprint::cardMedia(target.printer, nullptr, media) == CardMedia::Refuses) {
        QString sizes;
        cupsprint::cardMedia(target.printer, &sizes, media);
        *message
            = QStringLiteral("プリンター「%1」はラベル用紙 (%2 x %3 mm) に印刷できません.\r\n\r\n"
                             "その用紙を扱えるプリンターか PDF ファイルを選んでください.\r\n(このプリンターの用紙: %4)")
                  .arg(target.printer)
                  .arg(target.sheet.pageWidth)
                  .arg(target.sheet.pageHeight)
                  .arg(sizes);
        return false;
    }
    const QString designs = target.labels ? QString() : cardDesignProblem(m_settings, cards);
    if (!designs.isEmpty()) {
        // Cards meant for pre-printed backs must not come out in another design.
        *message = designs + QStringLiteral("\r\n\r\n設定... でカードのデザインを選び直すまで印刷しません.");
        return false;
    }
    if (!target.labels && !target.printer.isEmpty() && cupsprint::cardMedia(target.printer) == CardMedia::Refuses) {
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

    const auto writePdf = [&](const QString& path, QString* error, const PrinterCalibration& calibration) {
        return target.labels ? writeLabelsPdf(path, cards, m_settings, target.sheet, target.start, error, calibration)
                             : writeCardsPdf(path, cards, m_settings, error, calibration);
    };
    const int pages = target.labels ? labelSheetCount(target.sheet, target.start, count) : count;
    const int nextStart
        = target.labels ? nextLabelStart(target.sheet, labelPlace(target.sheet, target.start, count - 1).cell) : 0;
    if (target.printer.isEmpty()) {
        QString error;
        if (!writePdf(target.file, &error, PrinterCalibration())) {
            *message = error;
        } else {
            *message = readBackPdf(target.file, pages);
        }
        if (!message->isEmpty()) {
            const QString lost = giveBackNumbers(first, count);
            *message += lost.isEmpty() ? QString() : QStringLiteral("\r\n") + lost;
            return false;
        }
        if (cardsPrinted(cards) == 0) {
            *message = kLinesReplaced;
        } else if (target.labels) {
            labelsCameOut(nextStart);
        }
        return true;
    }

    QTemporaryDir spool;
    const QString pdf = spool.filePath(QStringLiteral("cards.pdf"));
    QString error;
    // Corrected for where this printer puts the card or sheet; a PDF file (above) is written as designed.
    if (!spool.isValid() || !writePdf(pdf, &error, m_settings.calibrationFor(target.printer))) {
        *message = error.isEmpty() ? QStringLiteral("一時ファイルを作れません.") : error;
        giveBackNumbers(first, count);
        return false;
    }
    const QString title = target.labels ? QStringLiteral("QSO labels %1-%2") : QStringLiteral("QSL cards %1-%2");
    const int id
        = cupsprint::submit(target.printer, pdf, title.arg(first).arg(first + count - 1), target.copies, &error, media);
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
    job.nextLabelStart = nextStart;
    m_job = std::move(job);
    setPending(m_job->cards, true);
    m_follow.start();
    emit status(QStringLiteral("%1 枚の%4をプリンター「%2」に送りました (ジョブ %3). 印刷が終わると印刷済になります.")
                    .arg(m_job->cards.size())
                    .arg(m_job->printer)
                    .arg(m_job->id)
                    .arg(target.labels ? QStringLiteral("ラベル") : QStringLiteral("カード")));
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
        text = QStringLiteral("ジョブ %1-%2 の %3 枚の%4を印刷しました.")
                   .arg(job.printer)
                   .arg(job.id)
                   .arg(job.cards.size())
                   .arg(job.nextLabelStart > 0 ? QStringLiteral("ラベル") : QStringLiteral("カード"));
        if (job.nextLabelStart > 0) {
            labelsCameOut(job.nextLabelStart);
        }
    } else {
        const QString lost = giveBackNumbers(job.firstNumber, static_cast<int>(job.cards.size()));
        text += QStringLiteral("\r\n\r\nこのカードは印刷済になりません.")
            + (lost.isEmpty() ? QString() : QStringLiteral("\r\n") + lost);
    }
    emit status(text.section(QStringLiteral("\r\n"), 0, 0));
    // The list shows the lines' new states before anyone is told (a message box waits for the operator).
    emit changed();
    emit jobEnded(printed, text);
}
