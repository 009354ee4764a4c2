// 接続 on a big log in the main window, drawn offscreen. Prints figures; not a test.
//   bench_app [RECORDS=1000000]
// For each format a table of RECORDS contacts (date, time, call, send mark; every other one sent) is made in a
// temporary folder. The window connects to it as the button does; the clock stops when the window with the grid's
// first screen has been drawn, then again when the status line's unsent count is complete. While the count runs, the
// longest time the event loop was kept from turning is measured with a zero timer.
#include "TableWriters.h"
#include "app/TMainWnd.h"
#include "app/UnsentCount.h"
#include "app/UserDialogs.h"
#include "logtable/LogTable.h"

extern "C" {
#include <paradox.h>
}

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Contact
{
    int y, m, d;
    std::string time, call, send;
};

Contact contact(long i)
{
    char call[16];
    std::snprintf(call, sizeof call, "JA%ld%c%c%c", i % 10, 'A' + static_cast<char>(i % 26),
                  'A' + static_cast<char>(i / 26 % 26), 'A' + static_cast<char>(i / 676 % 26));
    char time[8];
    std::snprintf(time, sizeof time, "%02ld%02ld", i % 24, i % 60);
    return {2000 + static_cast<int>(i % 24),
            1 + static_cast<int>(i % 12),
            1 + static_cast<int>(i % 28),
            time,
            call,
            i % 2 ? "F" : ""};
}

bool makeParadox(const std::string& path, long records)
{
    const std::vector<tablewrite::PxField> fields{
        {"DATE", pxfDate, 4}, {"TIME", pxfAlpha, 5}, {"CALL", pxfAlpha, 12}, {"SEND", pxfAlpha, 1}};
    std::vector<std::vector<std::string>> rows;
    rows.reserve(static_cast<std::size_t>(records));
    for (long i = 0; i < records; ++i) {
        const Contact c = contact(i);
        rows.push_back({tablewrite::pxDate(c.y, c.m, c.d), tablewrite::pxAlpha(c.time, 5),
                        tablewrite::pxAlpha(c.call, 12), tablewrite::pxAlpha(c.send, 1)});
    }
    const std::string error = tablewrite::writeParadox(path, fields, rows);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
    return error.empty();
}

bool makeDbase(const std::string& path, long records)
{
    const std::vector<tablewrite::DbfField> fields{
        {"DATE", 'D', 8}, {"TIME", 'C', 5}, {"CALL", 'C', 12}, {"SEND", 'C', 1}};
    std::vector<std::vector<std::string>> rows;
    rows.reserve(static_cast<std::size_t>(records));
    for (long i = 0; i < records; ++i) {
        const Contact c = contact(i);
        char date[16];
        std::snprintf(date, sizeof date, "%04d%02d%02d", c.y, c.m, c.d);
        rows.push_back({date, c.time, c.call, c.send});
    }
    return tablewrite::writeFile(path, tablewrite::dbaseBytes(fields, rows));
}

bool makeText(const std::string& path, long records)
{
    std::string text = "DATE,TIME,CALL,SEND\r\n";
    for (long i = 0; i < records; ++i) {
        const Contact c = contact(i);
        char line[96];
        std::snprintf(line, sizeof line, "%04d/%02d/%02d,%s,%s,%s\r\n", c.y, c.m, c.d, c.time.c_str(), c.call.c_str(),
                      c.send.c_str());
        text += line;
    }
    return tablewrite::writeFile(path, text);
}

bool makeAdif(const std::string& path, long records)
{
    std::string text = "bench log\r\n<ADIF_VER:5>3.1.4 <PROGRAMID:5>bench <EOH>\r\n";
    for (long i = 0; i < records; ++i) {
        const Contact c = contact(i);
        char record[192];
        std::snprintf(record, sizeof record,
                      "<QSO_DATE:8>%04d%02d%02d <TIME_ON:4>%s <CALL:%zu>%s <QSL_SENT:1>%s <EOR>\r\n", c.y, c.m, c.d,
                      c.time.c_str(), c.call.size(), c.call.c_str(), c.send.empty() ? "N" : "Y");
        text += record;
    }
    return tablewrite::writeFile(path, text);
}

double ms(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

void connectTo(TMainWnd& w, const std::string& dir, const char* label, const char* name, const char* sendField)
{
    // The definition names the send field by its place in this table. Opening the table alone, on an object of its
    // own, shows what of the first screen is the engine's open.
    double engineOpen = 0;
    {
        auto probe = createLogTable();
        QElapsedTimer open;
        open.start();
        probe->OpenTable(dir, name);
        engineOpen = ms(open);
        w.convDefTable().fill("NULL");
        for (int f = 0; f < probe->FieldCount(); ++f) {
            if (probe->FieldName(f) == sendField) {
                w.convDefTable()[static_cast<std::size_t>(f)] = "SEND";
            }
        }
        w.SendFieldIndex = w.FindSendField();
    }
    w.EditDir->setText(QString::fromStdString(dir));
    w.EditLog->setText(QString::fromLatin1(name));
    QElapsedTimer clock;
    clock.start();
    w.ConBtnClick();
    w.grab(); // the window with the grid's first screen, drawn
    const double firstScreen = ms(clock);

    // The zero timer turns whenever the event loop does: the longest gap is the longest the window stood still.
    QElapsedTimer gap;
    gap.start();
    double longest = 0;
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        longest = std::max(longest, ms(gap));
        gap.restart();
    });
    turn.start();
    while (!w.unsentCount().done() && !w.unsentCount().failed() && w.table().IsOpen()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    turn.stop();
    const double counted = ms(clock);
    std::printf("%-18s %8ld records  first screen %8.1f ms  counts complete %8.1f ms  longest pause %6.1f ms\n", label,
                w.table().IsOpen() ? w.table().RecordCount() : 0L, firstScreen, counted, longest);
    std::printf("%-18s engine's open alone %8.1f ms; status line: %s\n", "", engineOpen,
                w.StatusCounts->text().toUtf8().constData());
}

/** Answers every box at once (No to a question: each table keeps the definition set for it), as no one is there to
 * click: a modal box would stop the measurement. */
class Unattended : public UserDialogs
{
public:
    Answer ErrorBox(QWidget*, const QString&) override { return Answer::Ok; }
    Answer WarningBox(QWidget*, const QString&) override { return Answer::Ok; }
    Answer InfoBox(QWidget*, const QString&) override { return Answer::Ok; }
    Answer YesNoBox(QWidget*, const QString&) override { return Answer::No; }
    Answer YesNoCancelBox(QWidget*, const QString&) override { return Answer::No; }
    void ShowError(QWidget*, const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    QString OpenFileName(QWidget*, const FileDialogSpec&) override { return {}; }
    QString SaveFileName(QWidget*, const FileDialogSpec&) override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
    char pattern[] = "/tmp/kelbo-bench-app-XXXXXX";
    if (!::mkdtemp(pattern)) {
        return 1;
    }
    const std::string dir = std::string(pattern) + "/";
    // The window's settings stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", (dir + "config").c_str());

    QApplication app(argc, argv);
    Unattended unattended;
    setDialogs(&unattended);
    std::printf("Making %ld-record tables in %s ...\n", records, dir.c_str());
    const bool made = makeParadox(dir + "big.db", records) && makeDbase(dir + "big.dbf", records)
        && makeText(dir + "big.csv", records) && makeAdif(dir + "big.adi", records);
    if (made) {
        TMainWnd w(QStringList{QStringLiteral("kelbo")});
        w.resize(1024, 700);
        w.show();
        QCoreApplication::processEvents();
        std::printf("接続 -> first screen, then the counts (window 1024 x 700, offscreen):\n");
        connectTo(w, dir, "Paradox .db", "big.db", "SEND");
        connectTo(w, dir, "dBASE .dbf", "big.dbf", "SEND");
        connectTo(w, dir, "text .csv", "big.csv", "SEND");
        connectTo(w, dir, "ADIF .adi", "big.adi", "QSL_SENT");
        w.table().CloseTable();
    }
    setDialogs(nullptr);
    const std::string clean = "rm -rf " + dir;
    return made && std::system(clean.c_str()) == 0 ? 0 : 1;
}
