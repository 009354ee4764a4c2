#ifndef KELBO_CARDPRINTER_PRINTDIALOGS_H
#define KELBO_CARDPRINTER_PRINTDIALOGS_H

#include "LabelSheet.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class QDoubleSpinBox;
class QPageLayout;
class QPrinter;
class QSpinBox;
class QWidget;

/** @brief What the operator chose in the print dialog. Pages are cards, or label sheets: page 2 is the second card or
 * the second sheet. */
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
    /** The same for @p sheets label sheets of the paper @p page. */
    virtual PrintChoice chooseLabelPrint(QWidget* owner, int sheets, const QString& lastPrinter,
                                         const QPageLayout& /*page*/, const std::function<void(QPrinter*)>& paint)
    {
        return choosePrint(owner, sheets, lastPrinter, paint);
    }
    /** The operator's own label sheet, edited in a dialog that refuses what does not fit; nothing when cancelled. */
    virtual std::optional<LabelSheet> editLabelSheet(QWidget* owner, const LabelSheet& sheet);
};

/** @brief The measures of the operator's own label sheet in mm, as on the sheet's package. Takes the sheet it edits
 * and hands the result back through sheet(); OK is refused with the value that is wrong. */
class LabelSheetDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LabelSheetDialog(const LabelSheet& sheet, QWidget* parent = nullptr);
    LabelSheet sheet() const;
    void accept() override;

private:
    QDoubleSpinBox* m_pageWidth = nullptr;
    QDoubleSpinBox* m_pageHeight = nullptr;
    QSpinBox* m_columns = nullptr;
    QSpinBox* m_rows = nullptr;
    QDoubleSpinBox* m_labelWidth = nullptr;
    QDoubleSpinBox* m_labelHeight = nullptr;
    QDoubleSpinBox* m_top = nullptr;
    QDoubleSpinBox* m_left = nullptr;
    QDoubleSpinBox* m_hGap = nullptr;
    QDoubleSpinBox* m_vGap = nullptr;
};

/** @brief The real preview unless a test installed its own. */
PrintDialogs& printDialogs();
/** @brief Installs @p d (not owned) in place of the real preview; nullptr restores it. */
void setPrintDialogs(PrintDialogs* d);

/** @brief Sets @p printer up for Japanese postcards (100 x 148 mm portrait, the whole sheet). */
void setUpCardPrinter(QPrinter& printer);

#endif
