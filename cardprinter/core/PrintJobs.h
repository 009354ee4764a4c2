#ifndef KELBO_CARDPRINTER_PRINTJOBS_H
#define KELBO_CARDPRINTER_PRINTJOBS_H

#include <QString>
#include <QStringList>

/** @brief Where a job's fate stands, as the print system reports it. */
enum class JobState
{
    Pending, // waiting for the printer
    Processing, // being printed
    Held, // held: will not print until released
    Stopped, // stopped, or waiting on a stopped printer
    Canceled,
    Aborted,
    Completed, // came out of the printer
    Unknown // the print system no longer knows the job
};

/** @brief A job's state with the print system's own words on it (the printer's message, the reasons). */
struct JobStatus
{
    JobState state = JobState::Unknown;
    QString detail;
};

/** @brief Whether a printer takes the card's paper, 100 x 148 mm. */
enum class CardMedia
{
    Takes,
    Unknown, // the printer names no paper sizes (a raw queue): the file goes as it is
    Refuses
};

/** @brief Jobs on the system's printers through CUPS (its server as the environment names it, CUPS_SERVER). */
namespace cupsprint {

/** @brief The printers the print system offers. */
QStringList printers();

/** @brief Whether @p printer takes 100 x 148 mm portrait, or the paper @p media names ("iso_a4_210x297mm"); @p sizes
 * gets the sizes it names when it refuses. */
CardMedia cardMedia(const QString& printer, QString* sizes = nullptr, const QString& media = QString());

/** @brief Sends the PDF @p pdf (cards of 100 x 148 mm, or pages of the paper @p media names) to @p printer, @p copies
 * of each page. The job's id, or 0 with @p error set in the print system's words when the job was refused. */
int submit(const QString& printer, const QString& pdf, const QString& title, int copies, QString* error,
           const QString& media = QString());

/** @brief The state of job @p job on @p printer. */
JobStatus status(const QString& printer, int job);

/** @brief Cancels job @p job; false when the print system refused. */
bool cancel(const QString& printer, int job);

} // namespace cupsprint

/** @brief "待機中", "印刷中", ... for the list and the messages. */
QString jobStateText(JobState state);

#endif
