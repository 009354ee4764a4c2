// Speed of the ADIF export beside the card lines of a transfer. Prints figures; not a test.
//   bench_export [RECORDS=100000] [DIR]
// Makes a delimited-text log of RECORDS contacts in the sample log's layout (DIR, or a temporary folder; the files
// are kept when DIR is given, so that whole runs of kelbo-lines can be timed against each other on it), then, over
// the same table with the sample's definition, times the walk that makes every card line and the ADIF export of
// the same records, best of three each, and prints records per second and the ratio.
#include "cardlink/TransferWalk.h"
#include "convdef/Settings.h"
#include "export/AdifExport.h"
#include "logtable/LogTable.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

void writeLog(const QString& dir, long records)
{
    QFile::remove(dir + "/LOG.SCH");
    QFile::copy(QStringLiteral(KELBO_SAMPLE_DIR "/LOG.SCH"), dir + "/LOG.SCH");
    QFile f(dir + "/LOG.TXT");
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
    std::string out;
    char line[512];
    for (long i = 0; i < records; ++i) {
        // CP932: 山田 太郎, 東京都世田谷区, 初QSO
        std::snprintf(
            line, sizeof line,
            "%04ld/%02ld/%02ld,\"%02ld%02ld%c\",\"JA%ld%c%c%c\",\"599\",\"59\",\"%ld.%03ld\",\"%s\","
            "\"\x8E\x52\x93\x63 \x91\xBE\x98\x59\",\"\x93\x8C\x8B\x9E\x93\x73\x90\xA2\x93\x63\x92\x4A\x8B\xE6\","
            "\"JARL\",\"\x8F\x89QSO\",\"%s\",\"\"\r\n",
            2000 + i % 24, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 2 ? 'J' : 'U', i % 10,
            'A' + static_cast<char>(i % 26), 'A' + static_cast<char>(i / 26 % 26),
            'A' + static_cast<char>(i / 676 % 26), 7 + i % 3 * 7, i % 1000, i % 3 ? "SSB" : "CW", i % 2 ? "F" : "");
        out += line;
        if (out.size() > (1 << 20)) {
            f.write(out.data(), static_cast<qint64>(out.size()));
            out.clear();
        }
    }
    f.write(out.data(), static_cast<qint64>(out.size()));
}

template <typename F> double bestSeconds(F&& run)
{
    double best = 1e9;
    for (int k = 0; k < 3; ++k) {
        const auto t0 = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const long records = argc > 1 ? std::atol(argv[1]) : 100000;
    QTemporaryDir temp;
    const QString dir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temp.path();
    writeLog(dir, records);

    KelboSettings settings;
    QFile templ(QStringLiteral(KELBO_SAMPLE_DIR "/KELBO.ini.in"));
    templ.open(QIODevice::ReadOnly);
    QFile ini(dir + "/KELBO.ini");
    ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
    ini.write(templ.readAll().replace("@LOGDATA@", (dir + "/").toUtf8()));
    ini.close();
    LoadSettings(ini.fileName().toStdString(), settings);

    auto table = createLogTable();
    table->OpenTable(dir.toStdString(), "LOG.TXT");
    long lines = 0;
    std::size_t bytes = 0;
    const double walk = bestSeconds([&] {
        lines = 0;
        bytes = 0;
        for (TransferWalk t(*table, settings.Fields, true, true); t.next();) {
            ++lines;
            bytes += t.line().size();
        }
    });
    adifexport::Options options;
    options.allSend = true;
    long written = 0;
    const double adif = bestSeconds([&] {
        bytes = 0;
        written = adifexport::WriteAdif(*table, settings.Fields, options, [&](const char*, std::size_t n) {
                      bytes += n;
                  }).written;
    });
    std::printf("%ld records (%s/LOG.TXT)\n", records, qPrintable(dir));
    std::printf("card lines : %8ld in %.3f s = %9.0f records/s\n", lines, walk, lines / walk);
    std::printf("ADIF export: %8ld in %.3f s = %9.0f records/s (%.2fx the card lines' time)\n", written, adif,
                written / adif, adif / walk);
    return 0;
}
