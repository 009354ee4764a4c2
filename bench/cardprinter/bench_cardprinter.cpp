// The card program's costs per line and per card: reading the country file as the program starts, reading a card
// line (with its place in the bureau's order) as AddLogPos does, taking up and sorting a transfer of 33,334 lines in
// the window's list, and drawing cards into a PDF.
// Each case prints lines or cards per second.
#include "BureauOrder.h"
#include "CardLayout.h"
#include "CardoApplication.h"
#include "Contact.h"
#include "CountryFile.h"
#include "LabelSheetLayout.h"

#include <QGuiApplication>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString line(int i)
{
    static const char* const calls[] = {"JA1ZQX", "JH3KVW", "7K1XYZ/3", "DL2MCR", "VK2ABC", "JA0AAA", "JR6ABC"};
    return QStringLiteral(R"(24.%1.%2,%3,%4%5,59,7.045,SSB,,"山田 太郎","東京都世田谷区","VIA[VK2ABC] REM[TNX]",,,0)")
        .arg(i % 12 + 1, 2, 10, QLatin1Char('0'))
        .arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
        .arg(i % 2400, 4, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(calls[i % 7]))
        .arg(i % 3 == 0 ? QString() : QStringLiteral("/P"));
}

void BM_CountryFile(benchmark::State& state)
{
    for (auto _ : state) {
        CountryFile f;
        benchmark::DoNotOptimize(f.load(CountryFile::defaultPath()));
    }
}
BENCHMARK(BM_CountryFile)->Unit(benchmark::kMillisecond);

void BM_ReadLine(benchmark::State& state)
{
    CountryFile f;
    f.load(CountryFile::defaultPath());
    const BureauOrder order(std::move(f));
    const QString l = line(5);
    for (auto _ : state) {
        const Contact c = parseContact(l);
        benchmark::DoNotOptimize(order.place(c.call, splitQslText(c.qsl).via));
    }
    state.counters["lines/s"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadLine);

/** A whole transfer as the window's list sees it: the lines arrive, are sorted into bureau order, all chosen and
 * printed (without drawing). */
void BM_Transfer(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    for (auto _ : state) {
        CardoApplication app(dir.filePath(QStringLiteral("s.ini")));
        for (int i = 0; i < n; ++i) {
            app.AddLogPos(line(i), i);
        }
        app.SetPrintMax();
        app.DoLogList();
        QSortFilterProxyModel list;
        list.setSourceModel(app.model());
        list.setSortRole(HeldLinesModel::SortRole);
        list.sort(HeldLinesModel::Call);
        QList<int> rows;
        for (int r = 0; r < list.rowCount(); ++r) {
            rows << list.mapToSource(list.index(r, 0)).row();
        }
        // ... and all printed: the sorted list takes up the printed states.
        benchmark::DoNotOptimize(app.cardsPrinted(app.cardsFor(rows)));
    }
    state.counters["lines/s"]
        = benchmark::Counter(static_cast<double>(state.iterations() * n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Transfer)->Arg(33334)->Unit(benchmark::kMillisecond);

/** @p n held contacts as the card program parses them, with their lines' serial numbers in @p serials. */
std::vector<Contact> heldContacts(int n, std::vector<qint64>& serials)
{
    std::vector<Contact> contacts;
    for (int i = 0; i < n; ++i) {
        contacts.push_back(parseContact(line(i)));
        serials.push_back(i);
    }
    return contacts;
}

void BM_CardsToPdf(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<qint64> serials;
    const std::vector<Contact> contacts = heldContacts(n, serials);
    CardSettings s;
    s.call = QStringLiteral("JA1KEL");
    s.name = QStringLiteral("山田 花子");
    const std::vector<Card> cards = makeCards(contacts, serials, s);
    QTemporaryDir dir;
    for (auto _ : state) {
        writeCardsPdf(dir.filePath(QStringLiteral("c.pdf")), cards, s, nullptr);
    }
    state.counters["cards/s"]
        = benchmark::Counter(static_cast<double>(state.iterations() * n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CardsToPdf)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_LabelsToPdf(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<qint64> serials;
    const std::vector<Contact> contacts = heldContacts(n, serials);
    CardSettings s;
    s.call = QStringLiteral("JA1KEL");
    const LabelSheet sheet = *labelSheetPreset(QStringLiteral("A4-24"));
    const std::vector<Card> cards = makeCards(contacts, serials, s, contactsPerLabel(sheet));
    QTemporaryDir dir;
    for (auto _ : state) {
        writeLabelsPdf(dir.filePath(QStringLiteral("l.pdf")), cards, s, sheet, 1, nullptr);
    }
    state.counters["labels/s"]
        = benchmark::Counter(static_cast<double>(state.iterations() * n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LabelsToPdf)->Arg(240)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
