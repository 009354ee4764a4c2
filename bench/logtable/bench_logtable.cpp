// Reading speed and memory of the table engines. Prints figures; not a test.
//   bench_logtable [RECORDS=100000] [BIG=1000000]
// For each format a table of RECORDS contacts (the sample log's 13 fields) is made in a temporary folder
// and every field of every record is read as text; each run happens in a child process so that its peak
// RSS is its own. The same .dbf is walked by plain shapelib (every field read with DBFReadStringAttribute) and
// converted by `ogr2ogr -f CSV` for comparison; a .dbf with a memo field (texts in a .dbt) shows what memos cost.
// A summary puts each engine's CPU time beside the fastest engine's and beside ogr2ogr's. Then a table of BIG
// records is walked in each format and its peak RSS printed. The ADIF log holds the same
// contacts in UTF-8 with the tags a logging program writes.
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "logtable/LogTable.h"

extern "C" {
#include <paradox.h>
}
#include <shapefil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Field
{
    const char* name;
    int width; // 0: date
};
const Field kFields[] = {{"DATE", 0},  {"TIME", 5}, {"CALL", 12}, {"HIS", 3},  {"MY", 3},   {"FREQ", 8}, {"MODE", 6},
                         {"NAME", 20}, {"QTH", 30}, {"QSL", 12},  {"REM", 40}, {"SEND", 1}, {"RECV", 1}};
constexpr int kFieldCount = sizeof kFields / sizeof kFields[0];

/** Texts of record @p i, varied a little so that no two records are alike. */
std::vector<std::string> contact(long i)
{
    char date[16];
    std::snprintf(date, sizeof date, "%04ld%02ld%02ld", 2000 + i % 24, 1 + i % 12, 1 + i % 28);
    char time[8];
    std::snprintf(time, sizeof time, "%02ld%02ld%c", i % 24, i % 60, i % 2 ? 'J' : 'U');
    char call[16];
    std::snprintf(call, sizeof call, "JA%ld%c%c%c", i % 10, 'A' + static_cast<char>(i % 26),
                  'A' + static_cast<char>(i / 26 % 26), 'A' + static_cast<char>(i / 676 % 26));
    char freq[16];
    std::snprintf(freq, sizeof freq, "%ld.%03ld", 7 + i % 3 * 7, i % 1000);
    // CP932: 山田 太郎, 東京都世田谷区
    return {date,
            time,
            call,
            "599",
            "59",
            freq,
            i % 3 ? "SSB" : "CW",
            "\x8e\x52\x93\x63 \x91\xbe\x98\x59",
            "\x93\x8c\x8b\x9e\x93\x73\x90\xa2\x93\x63\x92\x4a\x8b\xe6",
            "JARL",
            i % 5 ? "" : "TNX QSO",
            i % 2 ? "F" : "",
            ""};
}

bool writeAll(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

/** With @p memoPath, the table gets a memo field NOTE whose texts (one record in five) go to a dBASE III .dbt. */
void makeDbase(const std::string& path, long records, const std::string& memoPath = "")
{
    const bool memo = !memoPath.empty();
    int recordLength = memo ? 11 : 1;
    for (const Field& f : kFields) {
        recordLength += f.width == 0 ? 8 : f.width;
    }
    const int headerLength = 32 + 32 * (kFieldCount + (memo ? 1 : 0)) + 1;
    std::string head(32, '\0');
    head[0] = memo ? '\x83' : 0x03;
    head[1] = 124;
    head[2] = 5;
    head[3] = 10;
    for (int i = 0; i < 4; ++i) {
        head[4 + i] = static_cast<char>((records >> (8 * i)) & 0xFF);
    }
    head[8] = static_cast<char>(headerLength & 0xFF);
    head[9] = static_cast<char>(headerLength >> 8);
    head[10] = static_cast<char>(recordLength & 0xFF);
    head[11] = static_cast<char>(recordLength >> 8);
    head[29] = 0x13;
    for (const Field& f : kFields) {
        std::string d(32, '\0');
        std::memcpy(d.data(), f.name, std::strlen(f.name));
        d[11] = f.width == 0 ? 'D' : 'C';
        d[16] = static_cast<char>(f.width == 0 ? 8 : f.width);
        head += d;
    }
    if (memo) {
        std::string d(32, '\0');
        std::memcpy(d.data(), "NOTE", 4);
        d[11] = 'M';
        d[16] = 10;
        head += d;
    }
    head.push_back('\x0D');
    FILE* memoOut = memo ? std::fopen(memoPath.c_str(), "wb") : nullptr;
    long nextBlock = 1;
    if (memoOut) {
        std::fwrite(std::string(512, '\0').data(), 1, 512, memoOut);
    }
    FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(head.data(), 1, head.size(), out);
    std::string record;
    for (long i = 0; i < records; ++i) {
        record.assign(1, ' ');
        const auto v = contact(i);
        for (int f = 0; f < kFieldCount; ++f) {
            std::string value = v[static_cast<std::size_t>(f)];
            value.resize(static_cast<std::size_t>(kFields[f].width == 0 ? 8 : kFields[f].width), ' ');
            record += value;
        }
        if (memoOut) {
            char block[16];
            if (i % 5 == 0) {
                // A remark of some 600 bytes over two blocks, ended by 0x1A 0x1A.
                std::string text;
                while (text.size() < 600) {
                    text += "QSL via bureau, TNX FB QSO " + std::to_string(i) + "\r\n";
                }
                text += "\x1A\x1A";
                text.resize((text.size() + 511) / 512 * 512, '\0');
                std::fwrite(text.data(), 1, text.size(), memoOut);
                std::snprintf(block, sizeof block, "%10ld", nextBlock);
                nextBlock += static_cast<long>(text.size() / 512);
            } else {
                std::snprintf(block, sizeof block, "%10s", "");
            }
            record += block;
        }
        std::fwrite(record.data(), 1, record.size(), out);
    }
    std::fputc(0x1A, out);
    std::fclose(out);
    if (memoOut) {
        std::fclose(memoOut);
    }
}

/** With @p utf8 the texts are in UTF-8 (the schema names no CHARSET: the engine tells the encoding by the bytes). */
void makeText(const std::string& dir, const std::string& name, long records, bool utf8 = false)
{
    std::string schema = "[BENCH]\r\nFILETYPE = VARYING\r\nDELIMITER = \"\r\nSEPARATOR = ,\r\n";
    for (int f = 0; f < kFieldCount; ++f) {
        schema += "Field" + std::to_string(f + 1) + " = " + kFields[f].name
            + (kFields[f].width == 0 ? ",DATE,10,0,0\r\n" : ",CHAR," + std::to_string(kFields[f].width) + ",0,0\r\n");
    }
    writeAll(dir + name + ".sch", schema);
    FILE* out = std::fopen((dir + name + ".txt").c_str(), "wb");
    std::string line;
    for (long i = 0; i < records; ++i) {
        const auto v = contact(i);
        line.clear();
        for (int f = 0; f < kFieldCount; ++f) {
            if (f > 0) {
                line += ',';
            }
            line += f == 0 ? v[0].substr(0, 4) + "/" + v[0].substr(4, 2) + "/" + v[0].substr(6, 2)
                           : "\"" + v[static_cast<std::size_t>(f)] + "\"";
        }
        line += "\r\n";
        if (utf8) {
            line = cp932::toUtf8(line);
        }
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fclose(out);
}

void makeAdif(const std::string& path, long records)
{
    static const char* const tags[] = {"QSO_DATE", "TIME_ON", "CALL",    "RST_SENT", "RST_RCVD", "FREQ",    "MODE",
                                       "NAME",     "QTH",     "QSL_VIA", "COMMENT",  "QSL_SENT", "QSL_RCVD"};
    FILE* out = std::fopen(path.c_str(), "wb");
    const std::string header = "bench log\r\n<ADIF_VER:5>3.1.4 <PROGRAMID:5>bench <EOH>\r\n";
    std::fwrite(header.data(), 1, header.size(), out);
    std::string record;
    for (long i = 0; i < records; ++i) {
        const auto v = contact(i);
        record.clear();
        for (int f = 0; f < kFieldCount; ++f) {
            std::string value = cp932::toUtf8(v[static_cast<std::size_t>(f)]);
            if (f == 1) {
                value.resize(4); // HHMM, no zone letter
            } else if (f == 11 && !value.empty()) {
                value = "Y";
            }
            if (!value.empty()) {
                record += "<" + std::string(tags[f]) + ":" + std::to_string(value.size()) + ">" + value + " ";
            }
        }
        record += "<EOR>\r\n";
        std::fwrite(record.data(), 1, record.size(), out);
    }
    std::fclose(out);
}

/** pxlib makes the empty table (its header); the data blocks are appended here, since pxlib's own
 * appending slows down with every block. */
void makeParadox(const std::string& path, long records)
{
    pxdoc_t* px = PX_new();
    auto* fields = static_cast<pxfield_t*>(px->malloc(px, kFieldCount * sizeof(pxfield_t), "bench"));
    for (int i = 0; i < kFieldCount; ++i) {
        fields[i].px_fname = PX_strdup(px, kFields[i].name);
        fields[i].px_ftype = kFields[i].width == 0 ? pxfDate : pxfAlpha;
        fields[i].px_flen = kFields[i].width == 0 ? 4 : kFields[i].width;
        fields[i].px_fdc = 0;
    }
    FILE* fp = std::fopen(path.c_str(), "w+b");
    PX_create_fp(px, fields, kFieldCount, fp, pxfFileTypNonIndexDB);
    const int recordSize = PX_get_recordsize(px);
    std::vector<char> record(static_cast<std::size_t>(recordSize));
    auto encode = [&](long i) {
        std::fill(record.begin(), record.end(), '\0');
        const auto v = contact(i);
        int offset = 0;
        for (int f = 0; f < kFieldCount; ++f) {
            const std::string& value = v[static_cast<std::size_t>(f)];
            if (kFields[f].width == 0) {
                const int y = std::atoi(value.substr(0, 4).c_str());
                const int m = std::atoi(value.substr(4, 2).c_str());
                const int d = std::atoi(value.substr(6, 2).c_str());
                PX_put_data_long(px, record.data() + offset, 4, static_cast<int>(PX_GregorianToSdn(y, m, d) - 1721425));
                offset += 4;
            } else {
                std::memcpy(record.data() + offset, value.data(), value.size());
                offset += kFields[f].width;
            }
        }
    };
    PX_close(px);
    std::fflush(fp);

    unsigned char head[0x78];
    std::fseek(fp, 0, SEEK_SET);
    if (std::fread(head, 1, sizeof head, fp) != sizeof head) {
        std::abort();
    }
    const long headerSize = head[2] | head[3] << 8;
    const long blockSize = head[5] * 1024L;
    const long perBlock = (blockSize - 6) / recordSize;
    const long blocks = (records + perBlock - 1) / perBlock;
    std::vector<char> block(static_cast<std::size_t>(blockSize));
    std::fseek(fp, headerSize, SEEK_SET);
    for (long b = 0; b < blocks; ++b) {
        std::fill(block.begin(), block.end(), '\0');
        const long n = std::min(perBlock, records - b * perBlock);
        const long next = b + 1 < blocks ? b + 2 : 0;
        const long addDataSize = (n - 1) * recordSize;
        const unsigned char blockHead[6]
            = {static_cast<unsigned char>(next & 0xFF),        static_cast<unsigned char>(next >> 8),
               static_cast<unsigned char>(b & 0xFF),           static_cast<unsigned char>(b >> 8),
               static_cast<unsigned char>(addDataSize & 0xFF), static_cast<unsigned char>(addDataSize >> 8)};
        std::memcpy(block.data(), blockHead, 6);
        for (long r = 0; r < n; ++r) {
            encode(b * perBlock + r);
            std::memcpy(block.data() + 6 + r * recordSize, record.data(), record.size());
        }
        std::fwrite(block.data(), 1, block.size(), fp);
    }
    auto put16 = [&](long at, long v) {
        const unsigned char bytes[2]
            = {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>(v >> 8 & 0xFF)};
        std::fseek(fp, at, SEEK_SET);
        std::fwrite(bytes, 1, 2, fp);
    };
    const unsigned char count[4]
        = {static_cast<unsigned char>(records & 0xFF), static_cast<unsigned char>(records >> 8 & 0xFF),
           static_cast<unsigned char>(records >> 16 & 0xFF), static_cast<unsigned char>(records >> 24 & 0xFF)};
    std::fseek(fp, 6, SEEK_SET);
    std::fwrite(count, 1, 4, fp);
    put16(0x0A, blocks);
    put16(0x0C, blocks);
    put16(0x0E, blocks > 0 ? 1 : 0);
    put16(0x10, blocks);
    put16(0x6A, 932); // the code page of the log's texts, as the sample log declares it
    PX_delete(px);
    std::fclose(fp);
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/** CPU time of this process so far (user and system): on a busy machine a fairer figure than the wall clock. */
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/** What a walk in a child process took; all 0 when it failed. */
struct Figures
{
    double wall = 0;
    double cpu = 0;
    double rssMb = 0;
};

/** Runs @p walk (which returns the number of records and adds up the bytes read) in a child process; prints
 * the figures and returns them. */
Figures inChild(const std::string& label, const std::function<long(std::size_t& bytes, double& opened)>& walk)
{
    std::fflush(stdout);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return Figures();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        Figures figures;
        long records = 0;
        std::size_t bytes = 0;
        try {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = cpuSeconds();
            double opened = 0;
            records = walk(bytes, opened);
            const double elapsed = seconds(start);
            const double cpu = cpuSeconds() - cpuStart;
            figures = {elapsed, cpu, peakRssKb() / 1024.0};
            std::printf("%-34s %9ld records  %8.1f ms (open %6.1f ms, CPU %6.1f ms)  %11.0f records/s  peak RSS %6.1f "
                        "MB\n",
                        label.c_str(), records, elapsed * 1000, opened * 1000, cpu * 1000, records / elapsed,
                        peakRssKb() / 1024.0);
        } catch (const KelboError& e) {
            std::printf("%-34s failed: %s\n", label.c_str(), e.what());
        }
        std::fflush(stdout);
        if (::write(pipeFds[1], &figures, sizeof figures) != sizeof figures) {
            _exit(1);
        }
        _exit(bytes > 0 ? 0 : 1);
    }
    ::close(pipeFds[1]);
    Figures figures;
    if (::read(pipeFds[0], &figures, sizeof figures) != sizeof figures) {
        figures = Figures();
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return figures;
}

/** CPU time of the waited-for children so far: what a command run through std::system cost. */
double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/** Opens DIR/NAME and reads every field of every record as text. */
Figures readEverything(const std::string& label, const std::string& dir, const std::string& name)
{
    return inChild(label, [&](std::size_t& bytes, double& opened) {
        const auto start = std::chrono::steady_clock::now();
        auto table = createLogTable();
        table->OpenTable(dir, name);
        opened = seconds(start);
        long records = 0;
        for (table->MoveFirst(); !table->AtEnd(); table->MoveNext()) {
            for (int f = 0; f < table->FieldCount(); ++f) {
                bytes += table->FieldText(f).size();
            }
            ++records;
        }
        return records;
    });
}

/** The plain shapelib walk: every field of every record through DBFReadStringAttribute, copied at once. */
Figures shapelibWalk(const std::string& label, const std::string& path)
{
    return inChild(label, [&](std::size_t& bytes, double& opened) {
        const auto start = std::chrono::steady_clock::now();
        DBFHandle dbf = DBFOpen(path.c_str(), "rb");
        if (!dbf) {
            throw KelboError("shapelib cannot open " + path);
        }
        opened = seconds(start);
        const int records = DBFGetRecordCount(dbf);
        const int fields = DBFGetFieldCount(dbf);
        std::string text;
        for (int r = 0; r < records; ++r) {
            for (int f = 0; f < fields; ++f) {
                text = DBFReadStringAttribute(dbf, r, f);
                bytes += text.size();
            }
        }
        DBFClose(dbf);
        return static_cast<long>(records);
    });
}

} // namespace

int main(int argc, char** argv)
{
    const long records = argc > 1 ? std::atol(argv[1]) : 100000;
    const long big = argc > 2 ? std::atol(argv[2]) : 1000000;
    char pattern[] = "/tmp/kelbo-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        return 1;
    }
    const std::string dir = std::string(pattern) + "/";

    std::printf("Making %ld-record tables in %s ...\n", records, dir.c_str());
    auto made = std::chrono::steady_clock::now();
    makeParadox(dir + "log.db", records);
    makeDbase(dir + "log.dbf", records);
    makeDbase(dir + "memo.dbf", records, dir + "memo.dbt");
    makeText(dir, "log", records);
    makeAdif(dir + "log.adi", records);
    makeText(dir, "utf8", records, true);
    std::printf("made in %.1f s\n", seconds(made));

    std::printf("\nRead every field of every record as text:\n");
    struct Engine
    {
        const char* label;
        Figures figures;
    };
    std::vector<Engine> engines = {
        {"Paradox .db", readEverything("Paradox .db", dir, "log.db")},
        {"dBASE .dbf", readEverything("dBASE .dbf", dir, "log.dbf")},
        {"text .txt + .sch", readEverything("text .txt + .sch", dir, "log.txt")},
        {"ADIF .adi (UTF-8)", readEverything("ADIF .adi (UTF-8)", dir, "log.adi")},
    };
    const Figures plain = shapelibWalk("plain shapelib walk of the .dbf", dir + "log.dbf");
    readEverything("dBASE .dbf + memo field (.dbt)", dir, "memo.dbf");
    readEverything("text .txt + .sch in UTF-8", dir, "utf8.txt");

    double ogrCpu = 0;
    if (std::system("command -v ogr2ogr >/dev/null 2>&1") == 0) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuBefore = childCpuSeconds();
        const std::string command = "ogr2ogr -f CSV " + dir + "ogr.csv " + dir + "log.dbf >/dev/null 2>&1";
        const int rc = std::system(command.c_str());
        ogrCpu = rc == 0 ? childCpuSeconds() - cpuBefore : 0;
        std::printf("%-34s %9ld records  %8.1f ms (CPU %6.1f ms)%s\n", "ogr2ogr -f CSV on the same .dbf", records,
                    seconds(start) * 1000, ogrCpu * 1000, rc == 0 ? "" : "  (failed)");
    } else {
        std::printf("ogr2ogr not found (Debian package gdal-bin): comparison skipped\n");
    }

    // CPU time, not the wall clock: on a shared machine it is the figure that holds from run to run.
    double fastest = 0;
    for (const Engine& e : engines) {
        if (e.figures.cpu > 0 && (fastest == 0 || e.figures.cpu < fastest)) {
            fastest = e.figures.cpu;
        }
    }
    std::printf("\nCPU per engine, %ld records (goals: each within 1.5x of the fastest engine; the dBASE engine at\n"
                "least 5x faster than ogr2ogr):\n",
                records);
    std::printf("%-20s %10s %12s %14s\n", "engine", "CPU ms", "x fastest", "ogr2ogr / it");
    for (const Engine& e : engines) {
        if (e.figures.cpu <= 0) {
            std::printf("%-20s %10s\n", e.label, "failed");
            continue;
        }
        std::printf("%-20s %10.1f %12.2f %14.2f\n", e.label, e.figures.cpu * 1000, e.figures.cpu / fastest,
                    ogrCpu > 0 ? ogrCpu / e.figures.cpu : 0.0);
    }
    if (plain.cpu > 0) {
        std::printf("%-20s %10.1f %12.2f %14.2f\n", "plain shapelib", plain.cpu * 1000, plain.cpu / fastest,
                    ogrCpu > 0 ? ogrCpu / plain.cpu : 0.0);
    }

    if (big > 0) {
        std::printf("\nMaking %ld-record tables ...\n", big);
        made = std::chrono::steady_clock::now();
        makeParadox(dir + "big.db", big);
        makeDbase(dir + "big.dbf", big);
        makeText(dir, "big", big);
        makeAdif(dir + "big.adi", big);
        std::printf("made in %.1f s\n", seconds(made));
        std::printf("Walk of %ld records:\n", big);
        const std::vector<Engine> walks = {
            {"Paradox .db", readEverything("Paradox .db", dir, "big.db")},
            {"dBASE .dbf", readEverything("dBASE .dbf", dir, "big.dbf")},
            {"text .txt + .sch", readEverything("text .txt + .sch", dir, "big.txt")},
            {"ADIF .adi (UTF-8)", readEverything("ADIF .adi (UTF-8)", dir, "big.adi")},
        };
        std::printf("\nPeak RSS of the %ld-record walk (goal: under 32 MB in every format):\n", big);
        for (const Engine& e : walks) {
            std::printf("%-20s %8.1f MB\n", e.label, e.figures.rssMb);
        }
    }

    const std::string clean = "rm -rf " + dir;
    return std::system(clean.c_str()) == 0 ? 0 : 1;
}
