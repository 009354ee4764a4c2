#include "PrintDialogs.h"

#include "CardLayout.h"

#include <QGuiApplication>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace {

class RealPrintDialogs : public PrintDialogs
{
public:
    bool previewAndPrint(QWidget* owner, QPrinter& printer, const std::function<void(QPrinter*)>& paint) override
    {
        QPrintPreviewDialog preview(&printer, owner);
        preview.setWindowTitle(QStringLiteral("印刷プレビュー"));
        // A whole card in view, on a small screen too.
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        const int room = screen ? screen->availableGeometry().height() - 80 : 860;
        preview.resize(720, std::clamp(room, 480, 860));
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

void setUpCardPrinter(QPrinter& printer)
{
    printer.setFullPage(true);
    printer.setPageLayout(cardPageLayout());
    printer.setDocName(QStringLiteral("QSL cards"));
}
