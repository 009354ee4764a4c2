// kelbo-lines: prints the lines a transfer would hand to the card program, without starting it.
#include "cardlink/TransferWalk.h"
#include "common/CodePage.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "convdef/ConvDefFile.h"
#include "convdef/Guess.h"
#include "convdef/IniFile.h"
#include "convdef/Settings.h"
#include "convdef/SettingsLocation.h"
#include "export/AdifExport.h"
#include "logtable/LogTable.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage
    = "Usage: kelbo-lines [--ini FILE] [--def FILE] [--all] [--utc | --no-utc] DIR TABLE\n"
      "       kelbo-lines --fields DIR TABLE\n"
      "       kelbo-lines --guess [--save FILE] DIR TABLE\n"
      "       kelbo-lines --adif [--ini FILE] [--def FILE] [--all] [--utc | --no-utc] [--ascii] [-o FILE] DIR TABLE\n"
      "\n"
      "Prints, for every record of the log table DIR/TABLE that a transfer would hand to the card\n"
      "program, its table position (0 for the first record), a tab and its card line in UTF-8, one\n"
      "record a line, in table order. Nothing is started and nothing is written.\n"
      "\n"
      "  --ini FILE   settings file (KELBO.ini) for the definition (section \"Fields\") and for\n"
      "               AllSend and UTC (section \"CARDO\")\n"
      "  --def FILE   definition file (lines FIELDn=expression); takes the place of the settings\n"
      "               file's definition\n"
      "  --all        pass records that already carry a send mark, like \"すべて引き渡す\"\n"
      "  --utc        times are UTC and are moved on nine hours (\"UTC→JST\" checked)\n"
      "  --no-utc     times are Japanese time\n"
      "  --fields     print the table itself instead: the field names, then every record's\n"
      "               field texts (sent or not), as CSV in UTF-8 (RFC 4180 quoting, CRLF)\n"
      "  --guess      print the definition the automatic guess (推測) makes for the table from its field\n"
      "               names and its first record instead: the 64 lines FIELDn=expression of a\n"
      "               definition file, in UTF-8\n"
      "  --save FILE  with --guess: also write that definition file (CP932), for --def or the program\n"
      "  --adif       write the records a transfer would hand over as an ADIF file (ADIF 3.1) instead:\n"
      "               call, date and time in UTC, band and frequency, mode, reports, name, QTH,\n"
      "               manager, marks, power and remarks as the definition reads them; texts in UTF-8\n"
      "               with lengths in bytes. Records whose call, date or time cannot be made valid are\n"
      "               left out and listed on standard error\n"
      "  --ascii      with --adif: leave out text fields that are not ASCII instead\n"
      "  -o FILE      with --adif: write the file FILE (in one step; never the table itself) instead of\n"
      "               standard output\n"
      "  --help       show this text\n"
      "\n"
      "Without --ini the settings file is the one KELBO uses when started without arguments: KELBO.ini\n"
      "in the current folder when there is one, else in $XDG_CONFIG_HOME/KELBO (~/.config/KELBO); which\n"
      "one is told on standard error. Without the flags, AllSend and UTC come from the settings file,\n"
      "else AllSend is off and UTC on; without a settings file and --def every field is \"NULL\".\n"
      "Exit status: 0 done, 1 a table, settings or definition file could not be read (or the\n"
      "definition file could not be written), 2 bad usage.\n";

struct Arguments
{
    std::optional<std::string> ini;
    std::optional<std::string> def;
    std::optional<bool> all;
    std::optional<bool> utc;
    std::vector<std::string> positional;
    bool help = false;
    bool fields = false;
    bool guess = false;
    std::optional<std::string> save;
    bool adif = false;
    bool ascii = false;
    std::optional<std::string> output;
};

int usageError(const std::string& message)
{
    std::fprintf(stderr, "kelbo-lines: %s\n使い方は kelbo-lines --help で表示されます.\n", message.c_str());
    return 2;
}

int failure(const std::string& message)
{
    std::fprintf(stderr, "kelbo-lines: %s\n", message.c_str());
    return 1;
}

// Parses the command line; returns an exit status when it cannot go on (usage error), else nothing.
std::optional<int> parse(int argc, char** argv, Arguments& args)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            args.positional.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (arg == "--fields") {
            args.fields = true;
        } else if (arg == "--guess") {
            args.guess = true;
        } else if (arg == "--adif") {
            args.adif = true;
        } else if (arg == "--ascii") {
            args.ascii = true;
        } else if (arg == "-o" || arg.substr(0, 2) == "-o") {
            if (arg.size() > 2) {
                args.output = std::string(arg.substr(2));
            } else if (i + 1 < argc) {
                args.output = argv[++i];
            } else {
                return usageError("-o にはファイル名が必要です");
            }
        } else if (arg == "--save" || arg.substr(0, 7) == "--save=") {
            if (arg.size() > 6) {
                args.save = std::string(arg.substr(7));
            } else if (i + 1 < argc) {
                args.save = argv[++i];
            } else {
                return usageError("--save にはファイル名が必要です");
            }
        } else if (arg == "--all") {
            args.all = true;
        } else if (arg == "--utc" || arg == "--no-utc") {
            if (args.utc && *args.utc != (arg == "--utc")) {
                return usageError("--utc と --no-utc は同時に指定できません");
            }
            args.utc = arg == "--utc";
        } else if (arg == "--ini" || arg == "--def" || arg.substr(0, 6) == "--ini=" || arg.substr(0, 6) == "--def=") {
            const bool isIni = arg.substr(0, 5) == "--ini";
            std::string value;
            if (arg.size() > 5) {
                value = std::string(arg.substr(6));
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return usageError(std::string(arg) + " にはファイル名が必要です");
            }
            (isIni ? args.ini : args.def) = value;
        } else {
            return usageError("不明なオプション " + std::string(arg));
        }
    }
    return std::nullopt;
}

/** One CSV field: quoted when it holds a separator, a quote, a line break or blanks at either end. */
void appendCsvField(std::string& out, const std::string& utf8)
{
    // One look at each byte (a search for any of several bytes would look at the set again for every byte).
    const bool quote
        = std::any_of(utf8.begin(), utf8.end(), [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; })
        || (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' '));
    if (!quote) {
        out += utf8;
        return;
    }
    out += '"';
    for (const char c : utf8) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

/** Standard output through one large buffer: a line costs no system call of its own. */
class Output
{
public:
    Output() { m_buffer.reserve(kFlushAt + 4096); }
    std::string& buffer() { return m_buffer; }
    /** Hands the buffer on once it is full; false when standard output took less than it was given. */
    bool lineDone() { return m_buffer.size() < kFlushAt || flush(); }
    bool flush()
    {
        const bool ok = m_buffer.empty() || std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout) == m_buffer.size();
        m_buffer.clear();
        return ok && std::fflush(stdout) == 0;
    }

private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    std::string m_buffer;
};

/** Opens DIR/TABLE; what could not be read of it is told on standard error, and the rest is used. */
std::unique_ptr<LogTable> openTable(const Arguments& args)
{
    std::unique_ptr<LogTable> table = createLogTable();
    table->OpenTable(args.positional[0], args.positional[1]);
    const std::string note = table->ReadNote();
    if (!note.empty()) {
        std::fprintf(stderr, "kelbo-lines: %s\n", note.c_str());
    }
    return table;
}

/** The guess over the table's field names and its first record, printed as a definition file. */
int guess(const Arguments& args)
{
    std::unique_ptr<LogTable> table = openTable(args);
    const ConvDefTable defs = GuessConvDef(*table);
    if (args.save && !SaveConvDefFile(*args.save, defs)) {
        return failure("変換定義ファイル " + *args.save + " に書き込めません");
    }
    std::string out;
    for (std::size_t k = 0; k < defs.size(); ++k) {
        out += "FIELD" + std::to_string(k + 1) + "=" + cp932::toUtf8(defs[k]) + "\n";
    }
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        return failure("出力に書き込めません");
    }
    return 0;
}

// --fields: the whole table as CSV, for moving a log elsewhere or comparing with another reader.
int dumpFields(const Arguments& args)
{
    std::unique_ptr<LogTable> table = openTable(args);
    const int count = table->FieldCount();
    Output output;
    std::string& out = output.buffer();
    for (int f = 0; f < count; ++f) {
        if (f > 0) {
            out += ',';
        }
        appendCsvField(out, table->FieldNameUtf8(f));
    }
    out += "\r\n";
    bool ok = output.lineDone();
    const long records = table->RecordCount();
    std::vector<std::string> texts;
    for (long row = 0; ok && row < records; ++row) {
        // The table's own characters, also those a card could not hold.
        table->RecordUtf8(row, texts);
        for (std::size_t f = 0; f < texts.size(); ++f) {
            if (f > 0) {
                out += ',';
            }
            appendCsvField(out, texts[f]);
        }
        out += "\r\n";
        ok = output.lineDone();
    }
    ok = output.flush() && ok;
    if (!ok || std::ferror(stdout)) {
        return failure("出力に書き込めません");
    }
    return 0;
}

// --adif: the passed records as an ADIF file, on standard output or into -o FILE.
int exportAdif(const Arguments& args, LogTable& table, const ConvDefTable& defs, bool allSend, bool utcToJst)
{
    adifexport::Options options;
    options.allSend = allSend;
    options.utcToJst = utcToJst;
    options.asciiOnly = args.ascii;
    options.programVersion = KELBO_VERSION;
    options.stationCall = adifexport::CardProgramStationCall();
    adifexport::Summary summary;
    if (args.output) {
        summary = adifexport::ExportAdifFile(table, defs, options, *args.output);
    } else {
        bool ok = true;
        summary = adifexport::WriteAdif(table, defs, options, [&](const char* data, std::size_t size) {
            ok = ok && std::fwrite(data, 1, size, stdout) == size;
        });
        if (!ok || std::fflush(stdout) != 0 || std::ferror(stdout)) {
            return failure("出力に書き込めません");
        }
    }
    for (const adifexport::LeftOut& left : summary.leftOut) {
        std::fprintf(stderr, "kelbo-lines: 位置 %ld の記録 (%s) は書き出しません: %s\n", left.position,
                     left.call.c_str(), left.reason.c_str());
    }
    std::fprintf(stderr, "kelbo-lines: %ld 件を ADIF に書き出しました", summary.written);
    if (!summary.leftOut.empty()) {
        std::fprintf(stderr, ". %zu 件は書き出せませんでした", summary.leftOut.size());
    }
    std::fputs("\n", stderr);
    return 0;
}

int run(const Arguments& args)
{
    if (args.fields) {
        return dumpFields(args);
    }
    KelboSettings settings; // design defaults: every entry "NULL", AllSend off, UTC on
    if (args.ini) {
        // The settings reader never fails on its own; a file named on the command line must exist and read.
        if (IniFile::load(*args.ini).source() != IniFile::Source::Loaded) {
            return failure("設定ファイル " + *args.ini + " を読めません");
        }
        LoadSettings(*args.ini, settings);
    } else {
        // The file KELBO itself would read; the user is told which one, as it may not be the expected one.
        const std::string ini = SettingsPath(settingsBaseDir(QStringList{QStringLiteral("kelbo-lines")}).toStdString());
        switch (IniFile::load(ini).source()) {
        case IniFile::Source::Loaded:
            std::fprintf(stderr, "kelbo-lines: 設定ファイル %s を使います\n", ini.c_str());
            LoadSettings(ini, settings);
            break;
        case IniFile::Source::Missing:
            std::fprintf(stderr, "kelbo-lines: 設定ファイル %s はありません. 既定の設定を使います\n", ini.c_str());
            break;
        case IniFile::Source::Unreadable:
            return failure("設定ファイル " + ini + " を読めません");
        }
    }
    if (args.def && !LoadConvDefFile(*args.def, settings.Fields)) {
        return failure("変換定義ファイル " + *args.def + " を読めません");
    }
    const bool allSend = args.all.value_or(settings.AllSend);
    const bool utcToJst = args.utc.value_or(settings.UTC);

    std::unique_ptr<LogTable> table = openTable(args);
    if (args.adif) {
        return exportAdif(args, *table, settings.Fields, allSend, utcToJst);
    }
    const codepage::CodePage cp932; // opened once for every line
    Output output;
    std::string& out = output.buffer();
    bool ok = true;
    for (TransferWalk walk(*table, settings.Fields, utcToJst, allSend); ok && walk.next();) {
        out += std::to_string(walk.position());
        out += '\t';
        out += cp932.toUtf8(walk.line());
        out += '\n';
        ok = output.lineDone();
    }
    ok = output.flush() && ok;
    if (!ok || std::ferror(stdout)) {
        return failure("出力に書き込めません");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    if (const auto status = parse(argc, argv, args)) {
        return *status;
    }
    if (args.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.positional.size() != 2) {
        return usageError(args.positional.size() < 2 ? "DIR と TABLE を指定してください" : "引数が多すぎます");
    }
    if (args.fields && (args.ini || args.def || args.all || args.utc || args.guess)) {
        return usageError("--fields はほかのオプションと一緒に指定できません");
    }
    if ((args.output || args.ascii) && !args.adif) {
        return usageError("-o と --ascii は --adif と一緒に指定してください");
    }
    if (args.adif && (args.fields || args.guess)) {
        return usageError("--adif は --fields, --guess と一緒に指定できません");
    }
    if (args.save && !args.guess) {
        return usageError("--save は --guess と一緒に指定してください");
    }
    if (args.guess && (args.ini || args.def || args.all || args.utc)) {
        return usageError("--guess は --ini, --def, --all, --utc, --no-utc と一緒に指定できません");
    }
    try {
        return args.guess ? guess(args) : run(args);
    } catch (const KelboError& e) {
        return failure(e.what());
    } catch (const std::exception& e) {
        return failure(std::string("予期しないエラー: ") + e.what());
    }
}
