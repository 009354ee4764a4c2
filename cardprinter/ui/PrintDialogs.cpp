#include "PrintDialogs.h"

#include "CardLayout.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace {

class RealPrintDialogs : public PrintDialogs
{
public:
    PrintChoice choosePrint(QWidget* owner, int pages, const QString& lastPrinter,
                            const std::function<void(QPrinter*)>& paint) override
    {
        QPrinter printer(QPrinter::HighResolution);
        if (!lastPrinter.isEmpty() && QPrinterInfo::availablePrinterNames().contains(lastPrinter)) {
            printer.setPrinterName(lastPrinter);
        }
        setUpCardPrinter(printer);
        // Also the proposed PDF file name: one of its own for each run, so that no earlier cards are overwritten.
        printer.setDocName(QStringLiteral("QSL-cards-%1")
                               .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));

        // The preview of the cards as they come out: portrait only (a card is never turned), no page set-up.
        QDialog preview(owner);
        preview.setWindowTitle(QStringLiteral("印刷プレビュー"));
        auto* view = new QPrintPreviewWidget(&printer, &preview);
        view->setViewMode(QPrintPreviewWidget::SinglePageView);
        view->setZoomMode(QPrintPreviewWidget::FitInView);
        QObject::connect(view, &QPrintPreviewWidget::paintRequested, &preview, paint);
        auto* buttons = new QDialogButtonBox(&preview);
        auto* back = buttons->addButton(QStringLiteral("前のカード"), QDialogButtonBox::ActionRole);
        auto* next = buttons->addButton(QStringLiteral("次のカード"), QDialogButtonBox::ActionRole);
        buttons->addButton(QStringLiteral("印刷..."), QDialogButtonBox::AcceptRole)->setDefault(true);
        buttons->addButton(QDialogButtonBox::Cancel);
        QObject::connect(back, &QPushButton::clicked, view, [view] { view->setCurrentPage(view->currentPage() - 1); });
        QObject::connect(next, &QPushButton::clicked, view, [view] { view->setCurrentPage(view->currentPage() + 1); });
        QObject::connect(buttons, &QDialogButtonBox::accepted, &preview, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &preview, &QDialog::reject);
        auto* layout = new QVBoxLayout(&preview);
        layout->addWidget(view, 1);
        layout->addWidget(buttons);
        // A whole card in view, on a small screen too.
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        const int room = screen ? screen->availableGeometry().height() - 80 : 860;
        preview.resize(560, std::clamp(room, 480, 860));
        PrintChoice choice;
        if (preview.exec() != QDialog::Accepted) {
            return choice;
        }

        QPrintDialog dialog(&printer, owner);
        dialog.setWindowTitle(QStringLiteral("カードの印刷"));
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
