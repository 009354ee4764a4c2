// Conversion cost per record: ConvertRecord + the card line over a realistic 17-field log record, once with
// keywords only and once with several template fields; and the whole transfer walk over an in-memory table.
// Each case prints records per second ("records/s").
#include "MemoryTable.h"
#include "cardlink/CardLogLine.h"
#include "cardlink/TransferWalk.h"
#include "convert/ConvertRecord.h"
#include "convert/DateTime.h"
#include "logtable/LogTable.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct Field
{
    const char* expr;
    const char* text;
};

// A contest-style log: date, time with zone, call and portable suffix, both reports, frequency, band, mode,
// power, name, QTH, QSL remarks and manager, marks and an environment number.
const std::vector<Field> kKeywordRecord = {
    {"YY/MM/DD", "2024/05/03"},
    {"HHmmJ", "1234Z"},
    {"CALL", "qx1abc"},
    {"CALL", "p"},
    {"RST", "599"},
    {"QSL(R)", "579"},
    {"FREQ", "7.025 MHz"},
    {"mBAND", "40m"},
    {"MODE", "cw"},
    {"POWER", "100W"},
    {"NAME", "Taro Yamada"},
    {"QTH", "Tokyo, Minato-ku"},
    {"QSL", "TNX QSO"},
    {"QSL[VIA]", "QX9ZZZ"},
    {"SEND", ""},
    {"RECV", "N"},
    {"ENV", "3"},
};

// The same contact kept as a log with combined fields, read by templates (the codes of the field templates).
const std::vector<Field> kTemplateRecord = {
    {"%y/%m/%d %2h%2i", "24/05/03 1234"},
    {"%B", "1234Z"},
    {"%k", "QX1ABC P  "},
    {"%U/%b", "599/579"},
    {"%x %O", "40m CW"},
    {"%A", "7.025"},
    {"POWER", "100W"},
    {"%N", "Taro Yamada"},
    {"%Q", "Tokyo, Minato-ku"},
    {"QSL", "TNX QSO"},
    {"QSL[VIA]", "QX9ZZZ"},
    {"%S,%R", ",N"},
    {"%V", "3"},
    {"NULL", "ignored"},
    {"NULL", "ignored"},
    {"NULL", "ignored"},
    {"NULL", "ignored"},
};

ConvDefTable definition(const std::vector<Field>& fields)
{
    ConvDefTable defs;
    defs.fill("NULL");
    for (std::size_t i = 0; i < fields.size(); ++i) {
        defs[i] = fields[i].expr;
    }
    return defs;
}

void convertAndBuild(benchmark::State& state, const std::vector<Field>& fields, bool reuseLine)
{
    const ConvDefPlan defs(definition(fields));
    std::vector<std::string_view> texts;
    for (const Field& f : fields) {
        texts.emplace_back(f.text);
    }
    CardRecord record;
    std::string line;
    line.reserve(768);
    for (auto _ : state) {
        if (ConvertRecord(texts.data(), static_cast<int>(texts.size()), defs, record, 1) != 0) {
            ShiftToJst(record);
        }
        if (reuseLine) {
            line.clear();
            AppendCardLogLine(record, line);
            benchmark::DoNotOptimize(line.data());
        } else {
            std::string built = BuildCardLogLine(record);
            benchmark::DoNotOptimize(built.data());
        }
    }
    state.counters["records/s"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_KeywordRecord(benchmark::State& state)
{
    convertAndBuild(state, kKeywordRecord, false);
}
BENCHMARK(BM_KeywordRecord);

void BM_KeywordRecordReusedLine(benchmark::State& state)
{
    convertAndBuild(state, kKeywordRecord, true);
}
BENCHMARK(BM_KeywordRecordReusedLine);

void BM_TemplateRecord(benchmark::State& state)
{
    convertAndBuild(state, kTemplateRecord, false);
}
BENCHMARK(BM_TemplateRecord);

void BM_TransferWalk(benchmark::State& state)
{
    std::vector<std::string> row;
    for (const Field& f : kKeywordRecord) {
        row.emplace_back(f.text);
    }
    const long rows = 10000;
    // Identical rows in memory under the real table's rules: what the walk costs on top of reading the table.
    std::vector<std::string> names;
    for (std::size_t i = 0; i < row.size(); ++i) {
        names.push_back("F" + std::to_string(i + 1));
    }
    const auto table = openMemoryTable(
        memoryTableData(std::move(names), std::vector<std::vector<std::string>>(static_cast<std::size_t>(rows), row)));
    const ConvDefTable defs = definition(kKeywordRecord);
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (TransferWalk walk(*table, defs, true, false); walk.next();) {
            bytes += walk.line().size();
        }
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["records/s"]
        = benchmark::Counter(static_cast<double>(state.iterations() * rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TransferWalk);

} // namespace

BENCHMARK_MAIN();
