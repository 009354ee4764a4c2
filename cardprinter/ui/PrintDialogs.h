#ifndef KELBO_CARDPRINTER_PRINTDIALOGS_H
#define KELBO_CARDPRINTER_PRINTDIALOGS_H

#include <QString>
#include <functional>

class QPrinter;
class QWidget;

/** @brief What the operator chose in the print dialog. Pages are cards: page 2 is the second card. */
struct PrintChoice
{
    bool accepted = false;
    QString printer; // a printer of the print system, or "" for a PDF file
    QString file; // the PDF file ("Print to File")
    int fromPage = 0; // 1-based; 0: all cards
    int toPage = 0;
    int copies = 1;
};

/** @brief The print preview with its print dialog, behind an interface so that tests answer it. */
class PrintDialogs
{
public:
    virtual ~PrintDialogs() = default;
    /** Shows the preview of @p pages cards drawn by @p paint; from there the operator chooses a printer (proposed:
     * @p lastPrinter) or a PDF file, the cards and copies. Nothing is printed here. */
    virtual PrintChoice choosePrint(QWidget* owner, int pages, const QString& lastPrinter,
                                    const std::function<void(QPrinter*)>& paint)
        = 0;
};

/** @brief The real preview unless a test installed its own. */
PrintDialogs& printDialogs();
/** @brief Installs @p d (not owned) in place of the real preview; nullptr restores it. */
void setPrintDialogs(PrintDialogs* d);

/** @brief Sets @p printer up for Japanese postcards (100 x 148 mm portrait, the whole sheet). */
void setUpCardPrinter(QPrinter& printer);

#endif
