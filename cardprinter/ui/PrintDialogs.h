#ifndef KELBO_CARDPRINTER_PRINTDIALOGS_H
#define KELBO_CARDPRINTER_PRINTDIALOGS_H

#include <functional>

class QPrinter;
class QWidget;

/** @brief The print preview with its print dialog, behind an interface so that tests answer it. */
class PrintDialogs
{
public:
    virtual ~PrintDialogs() = default;
    /** Shows the preview drawn by @p paint on @p printer; from there the operator prints to a printer or a PDF
     * file. True only when the cards went to the print job. */
    virtual bool previewAndPrint(QWidget* owner, QPrinter& printer, const std::function<void(QPrinter*)>& paint) = 0;
};

/** @brief Sets @p printer up for Japanese postcards (100 x 148 mm, the whole sheet). */
void setUpCardPrinter(QPrinter& printer);

/** @brief The real preview unless a test installed its own. */
PrintDialogs& printDialogs();
/** @brief Installs @p d (not owned) in place of the real preview; nullptr restores it. */
void setPrintDialogs(PrintDialogs* d);

#endif
