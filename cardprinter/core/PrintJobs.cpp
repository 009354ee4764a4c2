#include "PrintJobs.h"

#include <cstdlib>
#include <cups/cups.h>
#include <memory>

namespace {

/** The card's paper in the print system's own name. */
constexpr const char* kCardMedia = "jpn_hagaki_100x148mm";

struct DestsDeleter
{
    int count = 0;
    void operator()(cups_dest_t* d) const { cupsFreeDests(count, d); }
};

QString lastError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

std::unique_ptr<ipp_t, decltype(&ippDelete)> request(ipp_t* req, const char* resource)
{
    return {cupsDoRequest(CUPS_HTTP_DEFAULT, req, resource), &ippDelete};
}

QString jobUri(int job)
{
    return QStringLiteral("ipp://localhost/jobs/%1").arg(job);
}

QStringList texts(ipp_attribute_t* a)
{
    QStringList out;
    for (int i = 0; a && i < ippGetCount(a); ++i) {
        out << QString::fromUtf8(ippGetString(a, i, nullptr));
    }
    return out;
}

/** True when @p printer is stopped (disabled), with its message in @p message. */
bool printerStopped(const QString& printer, QString* message)
{
    ipp_t* req = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const QByteArray uri = QStringLiteral("ipp://localhost/printers/%1").arg(printer).toUtf8();
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    const char* const wanted[] = {"printer-state", "printer-state-message"};
    ippAddStrings(req, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    const auto answer = request(req, "/");
    if (!answer) {
        return false;
    }
    ipp_attribute_t* state = ippFindAttribute(answer.get(), "printer-state", IPP_TAG_ENUM);
    *message = texts(ippFindAttribute(answer.get(), "printer-state-message", IPP_TAG_TEXT)).join(QLatin1Char(' '));
    return state && ippGetInteger(state, 0) == IPP_PSTATE_STOPPED;
}

} // namespace

namespace cupsprint {

QStringList printers()
{
    cups_dest_t* dests = nullptr;
    const int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    QStringList out;
    for (int i = 0; i < n; ++i) {
        if (!dests[i].instance) {
            out << QString::fromUtf8(dests[i].name);
        }
    }
    cupsFreeDests(n, dests);
    return out;
}

CardMedia cardMedia(const QString& printer, QString* sizes, const QString& media)
{
    const QByteArray name = media.isEmpty() ? QByteArray(kCardMedia) : media.toUtf8();
    // The size the name ends in ("_210x297mm"), in hundredths of a millimetre as the print system counts.
    const QString size = QString::fromLatin1(name).section(QLatin1Char('_'), -1);
    const int width = qRound(size.section(QLatin1Char('x'), 0, 0).toDouble() * 100);
    const int length = qRound(size.section(QLatin1Char('x'), 1).chopped(2).toDouble() * 100);
    std::unique_ptr<cups_dest_t, DestsDeleter> dest(
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), nullptr), DestsDeleter{1});
    if (!dest) {
        return CardMedia::Unknown;
    }
    cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get());
    if (!info) {
        return CardMedia::Unknown;
    }
    CardMedia fit = CardMedia::Unknown;
    const int count = cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest.get(), info, CUPS_MEDIA_FLAGS_DEFAULT);
    cups_size_t found;
    if (cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest.get(), info, name.constData(), CUPS_MEDIA_FLAGS_DEFAULT,
                               &found)) {
        // Within a millimetre: the print system rounds its sizes to hundredths of a millimetre.
        fit = std::abs(found.width - width) <= 100 && std::abs(found.length - length) <= 100 ? CardMedia::Takes
                                                                                             : CardMedia::Refuses;
    } else if (count > 0) {
        fit = CardMedia::Refuses;
    }
    if (fit == CardMedia::Refuses && sizes) {
        QStringList names;
        for (int i = 0; i < count && i < 12; ++i) {
            if (cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest.get(), info, i, CUPS_MEDIA_FLAGS_DEFAULT, &found)) {
                names << QString::fromUtf8(found.media);
            }
        }
        *sizes = names.join(QStringLiteral(", "));
    }
    cupsFreeDestInfo(info);
    return fit;
}

int submit(const QString& printer, const QString& pdf, const QString& title, int copies, QString* error,
           const QString& media)
{
    cups_option_t* options = nullptr;
    int n = 0;
    n = cupsAddOption("media", media.isEmpty() ? kCardMedia : media.toUtf8().constData(), n, &options);
    n = cupsAddOption("orientation-requested", "3", n, &options); // portrait
    n = cupsAddOption("print-scaling", "none", n, &options); // the card as drawn, never fitted to another sheet
    n = cupsAddOption("copies", QByteArray::number(copies < 1 ? 1 : copies).constData(), n, &options);
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), pdf.toUtf8().constData(),
                                   title.toUtf8().constData(), n, options);
    cupsFreeOptions(n, options);
    if (job <= 0 && error) {
        *error = lastError();
    }
    return job > 0 ? job : 0;
}

JobStatus status(const QString& printer, int job)
{
    ipp_t* req = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, jobUri(job).toUtf8().constData());
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    const char* const wanted[] = {"job-state", "job-state-reasons", "job-printer-state-message"};
    ippAddStrings(req, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    const auto answer = request(req, "/");
    JobStatus s;
    if (!answer || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        s.detail = lastError();
        return s;
    }
    ipp_attribute_t* state = ippFindAttribute(answer.get(), "job-state", IPP_TAG_ENUM);
    const QStringList reasons = texts(ippFindAttribute(answer.get(), "job-state-reasons", IPP_TAG_KEYWORD));
    const QString message
        = texts(ippFindAttribute(answer.get(), "job-printer-state-message", IPP_TAG_TEXT)).join(QLatin1Char(' '));
    // The printer's own words, else the reasons that say more than the state itself.
    QStringList telling = reasons;
    for (const char* plain : {"none", "job-incoming", "job-queued", "job-printing", "job-completed-successfully"}) {
        telling.removeAll(QString::fromLatin1(plain));
    }
    s.detail = message.trimmed().isEmpty() ? telling.join(QStringLiteral(", ")) : message.trimmed();
    switch (state ? ippGetInteger(state, 0) : 0) {
    case IPP_JSTATE_PENDING:
        // A job waiting on a stopped (disabled) printer does not move until someone starts the printer.
        s.state = JobState::Pending;
        {
            QString why;
            if (reasons.contains(QStringLiteral("printer-stopped")) || printerStopped(printer, &why)) {
                s.state = JobState::Stopped;
                s.detail = why.trimmed().isEmpty() ? QStringLiteral("printer stopped") : why.trimmed();
            }
        }
        break;
    case IPP_JSTATE_HELD:
        s.state = JobState::Held;
        break;
    case IPP_JSTATE_PROCESSING:
        s.state = JobState::Processing;
        break;
    case IPP_JSTATE_STOPPED:
        s.state = JobState::Stopped;
        break;
    case IPP_JSTATE_CANCELED:
        s.state = JobState::Canceled;
        break;
    case IPP_JSTATE_ABORTED:
        s.state = JobState::Aborted;
        break;
    case IPP_JSTATE_COMPLETED:
        s.state = JobState::Completed;
        break;
    default:
        s.state = JobState::Unknown;
        break;
    }
    return s;
}

bool cancel(const QString& printer, int job)
{
    return cupsCancelJob2(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), job, 0) == IPP_STATUS_OK;
}

} // namespace cupsprint

QString jobStateText(JobState state)
{
    switch (state) {
    case JobState::Pending:
        return QStringLiteral("順番待ち");
    case JobState::Processing:
        return QStringLiteral("印刷中");
    case JobState::Held:
        return QStringLiteral("保留");
    case JobState::Stopped:
        return QStringLiteral("停止");
    case JobState::Canceled:
        return QStringLiteral("取り消し");
    case JobState::Aborted:
        return QStringLiteral("中止");
    case JobState::Completed:
        return QStringLiteral("完了");
    case JobState::Unknown:
        break;
    }
    return QStringLiteral("不明");
}
