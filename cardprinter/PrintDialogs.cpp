#include "PrintDialogs.h"

#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {

class RealPrintDialogs : public PrintDialogs
{
public:
    bool previewAndPrint(QWidget* owner, QPrinter& printer, const std::function<void(QPrinter*)>& paint) override
    {
        QPrintPreviewDialog preview(&printer, owner);
        preview.setWindowTitle(QStringLiteral("印刷プレビュー"));
        preview.resize(720, 860);
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, paint);
        // The preview accepts only after its print dialog was accepted and the pages went out.
        return preview.exec() == QDialog::Accepted && printer.printerState() != QPrinter::Error
            && printer.printerState() != QPrinter::Aborted;
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
