// A printer's correction reaches the cards and the test page that go to that printer, and never a PDF file.
#include "CardDesign.h"
#include "CardSettingsDialog.h"
#include "CardoApplication.h"
#include "PrivateCups.h"
#include "ScriptedDialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

constexpr double kPt = 72.0 / 25.4;

/** Where the first word @p text stands on page 1 of @p pdf (points from the top-left corner), or a null point. */
QPointF wordAt(const QString& pdf, const QString& text)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    const QRegularExpression word(QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)"[^>]*>%1</word>)re")
                                      .arg(QRegularExpression::escape(text)));
    const QRegularExpressionMatch m = word.match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QPointF();
}

/** The newest file the test printer "cards" put out after @p before files, waiting for it. */
QString nextPrinted(cardtest::PrivateCups& cups, qsizetype before)
{
    QElapsedTimer t;
    t.start();
    while (cups.printed().size() <= before && t.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    const QStringList files = cups.printed();
    return files.size() > before ? cups.out() + QLatin1Char('/') + files.last() : QString();
}

TEST(PrinterCalibration, CardsAndTheTestPageForAPrinterAreMovedAsSetAndAFileIsNot)
{
    qputenv("KELBO_CARDPRINTER_JOB_POLL_MS", "100");
    cardtest::PrivateCups cups;
    if (!cups.ok()) {
        GTEST_SKIP() << cups.why().toStdString();
    }
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    const QString settings = dir.filePath(QStringLiteral("kelbo-cardprinter.ini"));
    CardSettings s;
    s.call = QStringLiteral("JA1KEL");
    s.calibrations[QStringLiteral("cards")] = {5, 3, 100};
    ASSERT_TRUE(saveCardSettings(s, settings));
    CardoApplication app(settings);
    app.AddLogPos(QStringLiteral(R"(24.04.28,1208,JA1ZQX,59,7.045,SSB,,"","","",,,0)"), 3);

    // The plain card's own call stands 6 mm from the left and 5 mm (plus the font's leading) from the top.
    PrintTarget file;
    file.file = dir.filePath(QStringLiteral("cards.pdf"));
    QString message;
    ASSERT_TRUE(app.print(app.cardsFor({0}), file, &message)) << message.toStdString();
    const QPointF exact = wordAt(file.file, QStringLiteral("JA1KEL"));
    ASSERT_FALSE(exact.isNull());
    EXPECT_NEAR(exact.x(), 6 * kPt, 0.5 * kPt) << "a file is written as designed";

    PrintTarget printer;
    printer.printer = QStringLiteral("cards");
    qsizetype before = cups.printed().size();
    ASSERT_TRUE(app.print(app.cardsFor({0}), printer, &message)) << message.toStdString();
    const QString job = nextPrinted(cups, before);
    ASSERT_FALSE(job.isEmpty());
    const QPointF moved = wordAt(job, QStringLiteral("JA1KEL"));
    EXPECT_NEAR(moved.x() - exact.x(), 5 * kPt, 0.5 * kPt);
    EXPECT_NEAR(moved.y() - exact.y(), 3 * kPt, 0.5 * kPt);

    // The test page from the settings dialog goes to the printer chosen there, with the correction shown there.
    ScriptedDialogs boxes;
    CardSettingsDialog dlg(app.settings());
    auto* chosen = dlg.findChild<QComboBox*>(QStringLiteral("calibrationPrinter"));
    ASSERT_NE(chosen->findText(QStringLiteral("cards")), -1) << "the print system's printers are offered";
    chosen->setCurrentText(QStringLiteral("cards"));
    dlg.findChild<QDoubleSpinBox*>(QStringLiteral("offsetY"))->setValue(-2);
    before = cups.printed().size();
    ASSERT_TRUE(dlg.printTestPage()) << boxes.texts(QStringLiteral("WarningBox")).join(QLatin1Char(' ')).toStdString();
    const QString page = nextPrinted(cups, before);
    ASSERT_FALSE(page.isEmpty());
    const QRectF box = shippedCardDesign(QStringLiteral("plain")).element(QStringLiteral("ownCall"))->box;
    const QPointF name = wordAt(page, designElementTitle(QStringLiteral("ownCall")));
    EXPECT_NEAR(name.x(), (box.left() + 5) * kPt, 1 * kPt);
    EXPECT_NEAR(name.y(), (box.top() - 2) * kPt, 1 * kPt);
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
