// The whole round with a real print scheduler: KELBO hands the sample log over, the card program prints on a
// private cupsd, and the send marks go only to the contacts whose job completed.
#include "../cardlink/CardProgramBus.h"
#include "CardSettings.h"
#include "PrivateCups.h"
#include "ScriptedDialogs.h"
#include "app/TMainWnd.h"
#include "cardlink/CardLink.h"
#include "logtable/LogTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int kSendField = 11; // FIELD12=SEND in the sample's settings

int property(const QString& name)
{
    QDBusMessage m
        = QDBusMessage::createMethodCall(QStringLiteral("CARDO.Application"), QStringLiteral("/CARDO/Application"),
                                         QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    m << QStringLiteral("CARDO.Application") << name;
    const QDBusMessage r = QDBusConnection::sessionBus().call(m, QDBus::Block, 10000);
    return r.arguments().value(0).value<QDBusVariant>().variant().toInt();
}

/** The SEND field of every record. */
std::vector<std::string> marks(const QString& dir, const QString& name)
{
    auto t = createLogTable();
    t->OpenTable(dir.toStdString(), name.toStdString());
    std::vector<std::string> out;
    for (t->MoveFirst(); !t->AtEnd(); t->MoveNext()) {
        out.push_back(t->FieldText(kSendField));
    }
    return out;
}

/** Waits while the card program has a job that has not ended (print status 1). */
bool waitForJob()
{
    QElapsedTimer t;
    t.start();
    while (property(QStringLiteral("PrintStat")) == 1 && t.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
    return property(QStringLiteral("PrintStat")) != 1;
}

TEST(CardRound, MarksOnlyForContactsWhoseJobCompleted)
{
    cardtest::PrivateCups cups;
    if (!cups.ok()) {
        GTEST_SKIP() << cups.why().toStdString();
    }
    cardbus::stop();
    CardSettings station;
    station.call = QStringLiteral("JA1KEL");
    ASSERT_TRUE(
        saveCardSettings(station, cardbus::pdfFolder() + QStringLiteral("/config/KELBO/kelbo-cardprinter.ini")));
    cardbus::setEnvironment({{QStringLiteral("CUPS_SERVER"), cups.socket()},
                             {QStringLiteral("KELBO_CARDPRINTER_JOB_POLL_MS"), QStringLiteral("100")}});
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    for (const char* f : {"LOG.DBF"}) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(KELBO_SAMPLE_DIR "/") + f, dir + f));
        QFile::setPermissions(dir + f, QFile::ReadOwner | QFile::WriteOwner);
    }
    QFile in(QStringLiteral(KELBO_SAMPLE_DIR "/KELBO.ini.in"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray ini = in.readAll();
    ini.replace("@LOGDATA@", dir.toUtf8());
    ini.replace("Name=LOG.DB\r\n", "Name=LOG.DBF\r\n");
    QFile out(dir + QStringLiteral("KELBO.ini"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(ini);
    out.close();
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir);

    ScriptedDialogs dialogs;
    {
        TMainWnd window(QStringList{QStringLiteral("kelbo")});
        window.ConBtnClick();
        ASSERT_TRUE(window.table().IsOpen());
        const std::vector<std::string> before = marks(dir, QStringLiteral("LOG.DBF"));
        window.CARDOBtnClick();
        ASSERT_GE(property(QStringLiteral("GetLogCount")), 4);

        // A job the printer aborts: nothing printed, nothing asked, nothing marked.
        QDBusMessage r = cardbus::call(QStringLiteral("PrintLinesOn"),
                                       {QVariant::fromValue(QList<int>{0, 1}), QStringLiteral("broken")});
        ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
        window.TimerTimer();
        ASSERT_TRUE(waitForJob());
        window.TimerTimer();
        EXPECT_TRUE(dialogs.asked.empty());
        EXPECT_EQ(property(QStringLiteral("PrintStat")), 0);

        // A job that completes: its two contacts are asked about and marked, no other. (Line 2, K6LTE, is LoTW only
        // and gets no card.)
        r = cardbus::call(QStringLiteral("PrintLinesOn"),
                          {QVariant::fromValue(QList<int>{3, 4}), QStringLiteral("cards")});
        ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
        std::vector<int> positions;
        ASSERT_TRUE(waitForJob());
        for (int i : {3, 4}) {
            positions.push_back(cardbus::call(QStringLiteral("GetPrintedPos"), {i}).arguments().value(0).toInt());
        }
        ASSERT_EQ(property(QStringLiteral("PrintStat")), 2);
        dialogs.answer(Answer::Yes);
        window.TimerTimer();
        EXPECT_EQ(dialogs.texts("YesNoBox").size(), 1);
        EXPECT_TRUE(dialogs.texts("ShowError").isEmpty()) << dialogs.texts("ShowError").join(' ').toStdString();

        std::vector<std::string> expected = before;
        for (int p : positions) {
            ASSERT_GE(p, 0);
            expected[static_cast<std::size_t>(p)] = "F";
        }
        EXPECT_EQ(marks(dir, QStringLiteral("LOG.DBF")), expected);
        EXPECT_EQ(cups.printed().size(), 1);

        // Closing KELBO while a job has not ended would leave its cards without marks: the close waits for it.
        r = cardbus::call(QStringLiteral("PrintLinesOn"), {QVariant::fromValue(QList<int>{0}), QStringLiteral("slow")});
        ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
        EXPECT_EQ(cardbus::call(QStringLiteral("GetPrintedPos"), {0}).arguments().value(0).toInt(), -1);
        EXPECT_FALSE(window.close());
        ASSERT_EQ(dialogs.texts("WarningBox").size(), 1);
        EXPECT_TRUE(dialogs.texts("WarningBox").front().contains(QStringLiteral("印刷中")));
        ASSERT_TRUE(waitForJob());
        const int printedPosition = cardbus::call(QStringLiteral("GetPrintedPos"), {0}).arguments().value(0).toInt();
        ASSERT_GE(printedPosition, 0);
        dialogs.answer(Answer::Yes);
        EXPECT_TRUE(window.close());
        EXPECT_EQ(dialogs.texts("YesNoCancelBox").size(), 1);
        expected[static_cast<std::size_t>(printedPosition)] = "F";
        EXPECT_EQ(marks(dir, QStringLiteral("LOG.DBF")), expected);
    }
    QDir::setCurrent(oldCwd);
    cardbus::stop();
}

} // namespace
