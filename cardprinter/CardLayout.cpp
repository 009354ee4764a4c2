#include "CardPrinter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

namespace {

constexpr int kDpi = 300;

double mm(double v)
{
    return v * kDpi / 25.4;
}

QRectF box(double left, double top, double width, double height)
{
    return QRectF(mm(left), mm(top), mm(width), mm(height));
}

QFont cardFont(double points, bool bold = false)
{
    QFont f;
    f.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("Sans")});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

/** One labelled cell of the contact grid: a small caption above its value. */
void cell(QPainter& p, const QRectF& r, const QString& caption, const QString& value)
{
    p.drawRect(r);
    p.setFont(cardFont(5));
    p.drawText(r.adjusted(mm(0.8), mm(0.5), -mm(0.8), 0), Qt::AlignTop | Qt::AlignHCenter, caption);
    p.setFont(cardFont(8, true));
    p.drawText(r.adjusted(mm(0.5), mm(2.5), -mm(0.5), 0), Qt::AlignVCenter | Qt::AlignHCenter, value);
}

void drawCard(QPainter& p, const QString& line)
{
    const QStringList f = splitCardLine(line);
    p.setPen(QPen(Qt::black, mm(0.2)));
    if (f.isEmpty()) {
        // A line of another shape is printed as it came.
        p.setFont(cardFont(8));
        p.drawText(box(8, 10, 84, 128), Qt::TextWordWrap, line);
        return;
    }
    p.setFont(cardFont(9, true));
    p.drawText(box(8, 8, 84, 6), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("QSL"));
    p.setFont(cardFont(6));
    p.drawText(box(8, 8, 84, 6), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("To Radio"));
    p.setFont(cardFont(26, true));
    p.drawText(box(8, 16, 84, 16), Qt::AlignCenter, f[2]);

    const QStringList captions = {QStringLiteral("DATE"), QStringLiteral("TIME"), QStringLiteral("MHz"),
                                  QStringLiteral("MODE"), QStringLiteral("RST"),  QStringLiteral("PWR")};
    const QStringList values = {f[0], f[1], f[4], f[5], f[3], f[6]};
    const double width = 84.0 / captions.size();
    for (int i = 0; i < captions.size(); ++i) {
        cell(p, box(8 + i * width, 38, width, 11), captions[i], values[i]);
    }

    const struct
    {
        const char* caption;
        QString value;
        double top;
        double height;
    } rows[] = {{"Name", f[7], 55, 8}, {"QTH", f[8], 64, 8}, {"QSL", f[9], 73, 30}};
    for (const auto& r : rows) {
        p.setFont(cardFont(6));
        p.drawText(box(8, r.top, 14, 5), Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(r.caption));
        p.setFont(cardFont(9));
        p.drawText(box(22, r.top - 0.8, 70, r.height), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, r.value);
        p.drawLine(QPointF(mm(22), mm(r.top + 5)), QPointF(mm(92), mm(r.top + 5)));
    }
    p.setFont(cardFont(7));
    const QString marks = QStringLiteral("SEND: %1    RECV: %2").arg(f[10], f[11]);
    p.drawText(box(8, 108, 84, 6), Qt::AlignLeft | Qt::AlignVCenter, marks);
    p.drawText(box(8, 134, 84, 6), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("No. %1").arg(f[12]));
}

} // namespace

QStringList splitCardLine(const QString& line)
{
    // Only the three texts in the middle are quoted and nothing is escaped: take the plain fields from both ends.
    static const QRegularExpression shape(QString::fromLatin1(
        R"re(^([^,]*),([^,]*),([^,]*),([^,]*),([^,]*),([^,]*),([^,]*),"(.*)","(.*)","(.*)",(.?),(.?),(-?\d+)$)re"));
    const QRegularExpressionMatch m = shape.match(line);
    if (!m.hasMatch()) {
        return {};
    }
    QStringList out;
    for (int i = 1; i <= 13; ++i) {
        out << m.captured(i);
    }
    return out;
}

QString cardsFolder()
{
    const QString dir = qEnvironmentVariable("CARDO_STANDIN_PDF_DIR");
    return dir.isEmpty() ? QDir::homePath() : dir;
}

QString printCards(const std::vector<QString>& lines, const QString& folder, QString* error)
{
    QDir().mkpath(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path = QDir(folder).filePath(QStringLiteral("KELBO-cards-%1.pdf").arg(stamp));
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = QDir(folder).filePath(QStringLiteral("KELBO-cards-%1-%2.pdf").arg(stamp).arg(n));
    }
    QPdfWriter pdf(path);
    pdf.setResolution(kDpi);
    pdf.setTitle(QStringLiteral("QSL cards"));
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::Postcard), QPageLayout::Portrait, QMarginsF()));
    QPainter p;
    if (!p.begin(&pdf)) {
        if (error) {
            *error = QStringLiteral("cannot write %1").arg(path);
        }
        return QString();
    }
    bool first = true;
    for (const QString& line : lines) {
        if (!first) {
            pdf.newPage();
        }
        first = false;
        drawCard(p, line);
    }
    p.end();
    return path;
}
