// The card program as the log program and a script see it on the bus.
#include "../cardlink/CardProgramBus.h"
#include "CardSettings.h"
#include "CardTestSupport.h"

#include <QDBusVariant>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QDBusMessage propertyGet(const QString& name, const QDBusConnection& bus = QDBusConnection::sessionBus())
{
    QDBusMessage m
        = QDBusMessage::createMethodCall(QStringLiteral("CARDO.Application"), QStringLiteral("/CARDO/Application"),
                                         QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    m << QStringLiteral("CARDO.Application") << name;
    return bus.call(m, QDBus::Block, 10000);
}

int property(const QString& name)
{
    const QDBusMessage reply = propertyGet(name);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply.arguments().value(0).value<QDBusVariant>().variant().toInt();
}

int printedPos(int index)
{
    const QDBusMessage r = cardbus::call(QStringLiteral("GetPrintedPos"), {index});
    EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    return r.arguments().value(0).toInt();
}

class CardPrinterBusTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The operator's station, set before the card program starts.
        cardbus::stop();
        CardSettings s;
        s.call = QStringLiteral("JA1KEL");
        s.name = QStringLiteral("山田 花子");
        ASSERT_TRUE(saveCardSettings(s, cardbus::pdfFolder() + QStringLiteral("/config/KELBO/kelbo-cardprinter.ini")));
    }
    void SetUp() override
    {
        cardbus::pdfFolder();
        ASSERT_EQ(cardbus::call(QStringLiteral("NewDoc")).type(), QDBusMessage::ReplyMessage);
        ASSERT_EQ(cardbus::call(QStringLiteral("DeleteLog")).type(), QDBusMessage::ReplyMessage);
        const char* lines[] = {
            "24.04.28,0912,JA1ZQX,59,7.045,SSB,,\"山田 太郎\",\"東京都世田谷区\",\"JARL\",F,R,0",
            "24.04.28,0937,JH3KVW,599,7.012,CW,,\"佐藤, 一郎\",\"大阪府\",\"\",,,0",
            "24.04.29,1011,DL2MCR,599,14.025,CW,100W,\"Hans\",\"München\",\"via \"buro\"\",,,-5",
        };
        int position = 4;
        for (const char* l : lines) {
            ASSERT_EQ(cardbus::call(QStringLiteral("AddLogPos"), {QString::fromUtf8(l), position}).type(),
                      QDBusMessage::ReplyMessage);
            position += 3;
        }
    }
    static void TearDownTestSuite() { cardbus::stop(); }
};

TEST_F(CardPrinterBusTest, PrintedLinesReportTheirPositionsUntilDropped)
{
    EXPECT_EQ(property(QStringLiteral("GetLogCount")), 3);
    EXPECT_EQ(property(QStringLiteral("PrintStat")), 0);

    const QString pdf = cardbus::printLines({2, 0});
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_TRUE(pdf.startsWith(cardbus::pdfFolder()));
    EXPECT_EQ(property(QStringLiteral("PrintStat")), 2);
    EXPECT_EQ(printedPos(0), 4);
    EXPECT_EQ(printedPos(1), -1);
    EXPECT_EQ(printedPos(2), 10);

    QDBusMessage set
        = QDBusMessage::createMethodCall(QStringLiteral("CARDO.Application"), QStringLiteral("/CARDO/Application"),
                                         QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set << QStringLiteral("CARDO.Application") << QStringLiteral("PrintStat") << QVariant::fromValue(QDBusVariant(0));
    ASSERT_EQ(QDBusConnection::sessionBus().call(set).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(property(QStringLiteral("PrintStat")), 0);

    ASSERT_EQ(cardbus::call(QStringLiteral("DeletePrintedData")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(property(QStringLiteral("GetLogCount")), 1);
    EXPECT_EQ(printedPos(0), -1);

    ASSERT_EQ(cardbus::call(QStringLiteral("DeleteLog")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(property(QStringLiteral("GetLogCount")), 0);
}

TEST_F(CardPrinterBusTest, PrintLinesMakesOneCardPerLineInBureauOrderWithTheOwnStation)
{
    const QString pdf = cardbus::printLines({2, 1, 0});
    ASSERT_FALSE(pdf.isEmpty());
    const QStringList cards = cardtest::pdfPages(pdf);
    ASSERT_EQ(cards.size(), 3);
    const char* calls[] = {"JA1ZQX", "JH3KVW", "DL2MCR"};
    const char* names[] = {"山田 太郎", "佐藤, 一郎", "Hans"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(cards[i].contains(QStringLiteral("JA1KEL"))) << i;
        EXPECT_TRUE(cards[i].contains(QString::fromUtf8(calls[i]))) << i << "\n" << cards[i].toStdString();
        EXPECT_TRUE(cards[i].contains(QString::fromUtf8(names[i]))) << i;
    }
    EXPECT_TRUE(cards[0].contains(QStringLiteral("2024-04-28")) && cards[0].contains(QStringLiteral("09:12")));
}

TEST_F(CardPrinterBusTest, BadIndexesAreRefusedAndPrintNothing)
{
    struct Case
    {
        const char* method;
        QVariantList args;
    } cases[] = {
        {"GetPrintedPos", {3}},
        {"GetPrintedPos", {-1}},
        {"PrintLines", {QVariant::fromValue(QList<int>{0, 3})}},
        {"PrintLines", {QVariant::fromValue(QList<int>{})}},
    };
    for (const Case& c : cases) {
        const QDBusMessage r = cardbus::call(QString::fromLatin1(c.method), c.args);
        EXPECT_EQ(r.type(), QDBusMessage::ErrorMessage) << c.method;
        EXPECT_EQ(r.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs")) << c.method;
    }
    EXPECT_EQ(property(QStringLiteral("PrintStat")), 0);
    EXPECT_EQ(printedPos(0), -1);
}

TEST_F(CardPrinterBusTest, WindowOperationsAnswer)
{
    for (const char* m : {"NewDoc", "SetPrintMax", "Foreground", "DoLogList"}) {
        EXPECT_EQ(cardbus::call(QString::fromLatin1(m)).type(), QDBusMessage::ReplyMessage) << m;
    }
    EXPECT_EQ(cardbus::call(QStringLiteral("ShowWindow"), {5}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(cardbus::call(QStringLiteral("ShowWindow"), {0}).type(), QDBusMessage::ReplyMessage);
}

TEST_F(CardPrinterBusTest, ServesOneClientAtATimeWhileItsLinesAreHeld)
{
    QString otherName;
    {
        // A second log program on its own connection hands over its lines: from then on they belong to it.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        ASSERT_TRUE(other.isConnected());
        otherName = other.baseService();
        auto callOn = [](const QDBusConnection& bus, const char* method, const QVariantList& args = {}) {
            QDBusMessage m = QDBusMessage::createMethodCall(
                QStringLiteral("CARDO.Application"), QStringLiteral("/CARDO/Application"),
                QStringLiteral("CARDO.Application"), QString::fromLatin1(method));
            m.setArguments(args);
            return bus.call(m, QDBus::Block, 10000);
        };
        // The lines of this test's own connection are held: the other one may not drop them.
        EXPECT_EQ(callOn(other, "DeleteLog").errorName(), QStringLiteral("CARDO.Application.Error.InUse"));
        ASSERT_EQ(cardbus::call(QStringLiteral("DeleteLog")).type(), QDBusMessage::ReplyMessage);
        ASSERT_EQ(
            callOn(other, "AddLogPos", {QStringLiteral("24.05.01,1200,JA2AAA,59,7.045,SSB,,\"\",\"\",\"\",,,0"), 7})
                .type(),
            QDBusMessage::ReplyMessage);

        // Every call that reads or changes the held lines or their print report is refused to the first one, saying
        // why.
        const QDBusMessage refused[] = {
            cardbus::call(QStringLiteral("AddLogPos"),
                          {QStringLiteral("24.05.01,1300,JA3BBB,59,7.045,SSB,,\"\",\"\",\"\",,,0"), 3}),
            cardbus::call(QStringLiteral("GetPrintedPos"), {0}),
            cardbus::call(QStringLiteral("DeletePrintedData")),
            cardbus::call(QStringLiteral("DeleteLog")),
            cardbus::call(QStringLiteral("NewDoc")),
        };
        for (std::size_t i = 0; i < std::size(refused); ++i) {
            const QDBusMessage& r = refused[i];
            EXPECT_EQ(r.errorName(), QStringLiteral("CARDO.Application.Error.InUse")) << i;
            EXPECT_TRUE(r.errorMessage().contains(QStringLiteral("別のKELBOがCARDOを使用中です"))) << i;
        }

        // Printing prints for the holder, who alone reads the report and the position.
        EXPECT_FALSE(cardbus::printLines({0}).isEmpty());
        const QDBusMessage stat = propertyGet(QStringLiteral("PrintStat"), other);
        EXPECT_EQ(stat.arguments().value(0).value<QDBusVariant>().variant().toInt(), 2);
        EXPECT_EQ(callOn(other, "GetPrintedPos", {0}).arguments().value(0).toInt(), 7);
    }

    // Once the holder's connection has ended, its line stays held but locks nothing.
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    for (int i = 0;
         i < 500 && cardbus::busCall(QStringLiteral("NameHasOwner"), {otherName}).arguments().value(0).toBool(); ++i) {
        QThread::msleep(10);
    }
    EXPECT_EQ(property(QStringLiteral("GetLogCount")), 1);
    EXPECT_EQ(printedPos(0), 7);
    EXPECT_EQ(cardbus::call(QStringLiteral("DeleteLog")).type(), QDBusMessage::ReplyMessage);
}

} // namespace
