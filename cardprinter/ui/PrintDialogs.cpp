#include "PrintDialogs.h"

#include "CardLayout.h"
#include "app/UserDialogs.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

class RealPrintDialogs : public PrintDialogs
{
public:
    PrintChoice choosePrint(QWidget* owner, int pages, const QString& lastPrinter,
                            const std::function<void(QPrinter*)>& paint) override
    {
        return run(owner, pages, lastPrinter, nullptr, paint);
    }

    PrintChoice chooseLabelPrint(QWidget* owner, int sheets, const QString& lastPrinter, const QPageLayout& page,
                                 const std::function<void(QPrinter*)>& paint) override
    {
        return run(owner, sheets, lastPrinter, &page, paint);
    }

private:
    /** The preview and the print dialog of cards, or of label sheets of the paper @p labels. */
    static PrintChoice run(QWidget* owner, int pages, const QString& lastPrinter, const QPageLayout* labels,
                           const std::function<void(QPrinter*)>& paint)
    {
        QPrinter printer(QPrinter::HighResolution);
        if (!lastPrinter.isEmpty() && QPrinterInfo::availablePrinterNames().contains(lastPrinter)) {
            printer.setPrinterName(lastPrinter);
        }
        setUpCardPrinter(printer);
        if (labels) {
            printer.setPageLayout(*labels);
        }
        // Also the proposed PDF file name: one of its own for each run, so that no earlier cards are overwritten.
        printer.setDocName((labels ? QStringLiteral("QSO-labels-%1") : QStringLiteral("QSL-cards-%1"))
                               .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));

        // The preview of the cards as they come out: portrait only (a card is never turned), no page set-up.
        QDialog preview(owner);
        preview.setWindowTitle(QStringLiteral("印刷プレビュー"));
        auto* view = new QPrintPreviewWidget(&printer, &preview);
        view->setViewMode(QPrintPreviewWidget::SinglePageView);
        view->setZoomMode(QPrintPreviewWidget::FitInView);
        QObject::connect(view, &QPrintPreviewWidget::paintRequested, &preview, paint);
        auto* buttons = new QDialogButtonBox(&preview);
        auto* back = buttons->addButton(labels ? QStringLiteral("前のシート") : QStringLiteral("前のカード"),
                                        QDialogButtonBox::ActionRole);
        auto* next = buttons->addButton(labels ? QStringLiteral("次のシート") : QStringLiteral("次のカード"),
                                        QDialogButtonBox::ActionRole);
        buttons->addButton(QStringLiteral("印刷..."), QDialogButtonBox::AcceptRole)->setDefault(true);
        buttons->addButton(QDialogButtonBox::Cancel);
        QObject::connect(back, &QPushButton::clicked, view, [view] { view->setCurrentPage(view->currentPage() - 1); });
        QObject::connect(next, &QPushButton::clicked, view, [view] { view->setCurrentPage(view->currentPage() + 1); });
        QObject::connect(buttons, &QDialogButtonBox::accepted, &preview, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &preview, &QDialog::reject);
        auto* layout = new QVBoxLayout(&preview);
        layout->addWidget(view, 1);
        layout->addWidget(buttons);
        // A whole card or sheet in view, on a small screen too.
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        const int room = screen ? screen->availableGeometry().height() - 80 : 860;
        preview.resize(labels ? 640 : 560, std::clamp(room, 480, 860));
        PrintChoice choice;
        if (preview.exec() != QDialog::Accepted) {
            return choice;
        }

        QPrintDialog dialog(&printer, owner);
        dialog.setWindowTitle(labels ? QStringLiteral("ラベルの印刷") : QStringLiteral("カードの印刷"));
        dialog.setMinMax(1, pages);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, false);
        if (dialog.exec() != QDialog::Accepted) {
            return choice;
        }
        choice.accepted = true;
        if (printer.outputFormat() == QPrinter::PdfFormat || !printer.outputFileName().isEmpty()) {
            choice.file = printer.outputFileName();
        } else {
            choice.printer = printer.printerName();
        }
        if (printer.printRange() == QPrinter::PageRange) {
            choice.fromPage = printer.fromPage();
            choice.toPage = printer.toPage();
        }
        choice.copies = std::max(1, printer.copyCount());
        return choice;
    }
};

PrintDialogs* g_installed = nullptr;

} // namespace

PrintDialogs& printDialogs()
{
    static RealPrintDialogs real;
    return g_installed ? *g_installed : real;
}

void setPrintDialogs(PrintDialogs* d)
{
    g_installed = d;
}

void setUpCardPrinter(QPrinter& printer)
{
    printer.setFullPage(true);
    printer.setPageLayout(cardPageLayout());
    printer.setDocName(QStringLiteral("QSL cards"));
}

std::optional<LabelSheet> PrintDialogs::editLabelSheet(QWidget* owner, const LabelSheet& sheet)
{
    LabelSheetDialog dlg(sheet, owner);
    if (dlg.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dlg.sheet();
}

LabelSheetDialog::LabelSheetDialog(const LabelSheet& sheet, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ラベル用紙 (カスタム)"));
    const auto length = [this](double value, double most) {
        auto* box = new QDoubleSpinBox(this);
        box->setDecimals(2);
        box->setRange(0, most);
        box->setSingleStep(0.5);
        box->setSuffix(QStringLiteral(" mm"));
        // A value the file held that no box can show is shown as 0, which the check then names.
        box->setValue(std::isfinite(value) ? value : 0);
        return box;
    };
    const auto count = [this](int value, int most) {
        auto* box = new QSpinBox(this);
        box->setRange(1, most);
        box->setValue(value);
        return box;
    };
    m_pageWidth = length(sheet.pageWidth, 600);
    m_pageHeight = length(sheet.pageHeight, 600);
    m_columns = count(sheet.columns, 20);
    m_rows = count(sheet.rows, 30);
    m_labelWidth = length(sheet.labelWidth, 600);
    m_labelHeight = length(sheet.labelHeight, 600);
    m_top = length(sheet.top, 600);
    m_left = length(sheet.left, 600);
    m_hGap = length(sheet.hGap, 600);
    m_vGap = length(sheet.vGap, 600);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("用紙の幅"), m_pageWidth);
    form->addRow(QStringLiteral("用紙の高さ"), m_pageHeight);
    form->addRow(QStringLiteral("列数 (横に並ぶ数)"), m_columns);
    form->addRow(QStringLiteral("行数 (縦に並ぶ数)"), m_rows);
    form->addRow(QStringLiteral("ラベルの幅"), m_labelWidth);
    form->addRow(QStringLiteral("ラベルの高さ"), m_labelHeight);
    form->addRow(QStringLiteral("上余白 (用紙の上端から)"), m_top);
    form->addRow(QStringLiteral("左余白 (用紙の左端から)"), m_left);
    form->addRow(QStringLiteral("横の間隔"), m_hGap);
    form->addRow(QStringLiteral("縦の間隔"), m_vGap);
    auto* note = new QLabel(QStringLiteral("ラベル用紙のパッケージに書かれた寸法を入れてください."), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &LabelSheetDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

LabelSheet LabelSheetDialog::sheet() const
{
    LabelSheet s;
    s.pageWidth = m_pageWidth->value();
    s.pageHeight = m_pageHeight->value();
    s.columns = m_columns->value();
    s.rows = m_rows->value();
    s.labelWidth = m_labelWidth->value();
    s.labelHeight = m_labelHeight->value();
    s.top = m_top->value();
    s.left = m_left->value();
    s.hGap = m_hGap->value();
    s.vGap = m_vGap->value();
    return s;
}

void LabelSheetDialog::accept()
{
    const QString problem = sheet().problem();
    if (!problem.isEmpty()) {
        dialogs().WarningBox(this, problem);
        return;
    }
    QDialog::accept();
}
