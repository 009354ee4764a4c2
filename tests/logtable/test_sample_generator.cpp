// The committed sample log is exactly what tools/make-sample makes: regenerating it changes nothing.
#include "TableFixtures.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace fixtures;

TEST(SampleGenerator, CommittedSampleIsWhatTheGeneratorMakes)
{
    const QString program = QStringLiteral(KELBO_BINARY_DIR "/tools/make-sample/make-sample");
    ASSERT_TRUE(QFile::exists(program)) << "make-sample is not built: " << program.toStdString();
    TempDir tmp;
    QProcess run;
    run.start(program, {QString::fromStdString(tmp.path())});
    ASSERT_TRUE(run.waitForFinished(60000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    for (const char* name : {"LOG.DB", "LOG.DBF", "LOG.TXT", "LOG.SCH", "LOG.ADI", "KELBO.ini.in"}) {
        SCOPED_TRACE(name);
        const std::string made = readFile(tmp.file(name));
        EXPECT_FALSE(made.empty());
        EXPECT_TRUE(made == readFile(std::string(KELBO_SAMPLE_DIR "/") + name)) << "run make-sample data/sample";
    }
}
