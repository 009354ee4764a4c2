// The settings dialog's designs, romanised own station and printer corrections, and its test page.
#include "CardDesign.h"
#include "CardSettingsDialog.h"
#include "CardTestSupport.h"
#include "ScriptedDialogs.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class CardSettingsDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        QDir().mkpath(cardDesignsFolder());
        write("mine.json", R"({"title": "私のカード", "elements": {"destCall": {"y": 20}}})");
        write("broken.json", R"({"elements": {"destCall": {"points": -3}}})");
    }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    void write(const char* name, const QByteArray& bytes)
    {
        QFile f(QDir(cardDesignsFolder()).filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QTemporaryDir dir;
    ScriptedDialogs boxes;
};

TEST_F(CardSettingsDialogTest, DesignsRomanisedLinesAndCorrectionsAreHandedBack)
{
    CardSettings s;
    s.call = QStringLiteral("JA1KEL");
    s.foreignDesign = QStringLiteral("gone"); // a design file removed meanwhile
    s.calibrations[QStringLiteral("Office_Inkjet")] = {1.5, -0.5, 99};
    CardSettingsDialog dlg(s);

    auto* domestic = dlg.findChild<QComboBox*>(QStringLiteral("domesticDesign"));
    auto* foreign = dlg.findChild<QComboBox*>(QStringLiteral("foreignDesign"));
    ASSERT_TRUE(domestic && foreign);
    EXPECT_EQ(domestic->currentData().toString(), QStringLiteral("plain")) << "the plain card unless chosen";
    EXPECT_GE(domestic->findData(QStringLiteral("preprinted")), 0);
    EXPECT_EQ(domestic->itemText(domestic->findData(QStringLiteral("mine"))), QStringLiteral("私のカード"));
    EXPECT_LT(domestic->findData(QStringLiteral("broken")), 0);
    EXPECT_EQ(foreign->currentText(), QStringLiteral("gone (読めません)"));
    EXPECT_EQ(dlg.settings().foreignDesign, QStringLiteral("gone")) << "kept until the operator chooses another";
    bool named = false;
    for (const QLabel* l : dlg.findChildren<QLabel*>()) {
        named = named || l->text().contains(QStringLiteral("broken.json"));
    }
    EXPECT_TRUE(named) << "a design file that is refused is named";

    domestic->setCurrentIndex(domestic->findData(QStringLiteral("preprinted")));
    foreign->setCurrentIndex(foreign->findData(QStringLiteral("english")));
    dlg.findChild<QLineEdit*>(QStringLiteral("nameRoman"))->setText(QStringLiteral(" Hanako Yamada "));
    dlg.findChild<QLineEdit*>(QStringLiteral("qthRoman"))->setText(QStringLiteral("Shibuya, Tokyo"));

    auto* printer = dlg.findChild<QComboBox*>(QStringLiteral("calibrationPrinter"));
    auto* x = dlg.findChild<QDoubleSpinBox*>(QStringLiteral("offsetX"));
    ASSERT_TRUE(printer && x);
    printer->setCurrentText(QStringLiteral("Office_Inkjet"));
    EXPECT_DOUBLE_EQ(x->value(), 1.5);
    x->setValue(2.0);

    const CardSettings edited = dlg.settings();
    EXPECT_EQ(edited.domesticDesign, QStringLiteral("preprinted"));
    EXPECT_EQ(edited.foreignDesign, QStringLiteral("english"));
    EXPECT_EQ(edited.nameRoman, QStringLiteral("Hanako Yamada"));
    EXPECT_EQ(edited.qthRoman, QStringLiteral("Shibuya, Tokyo"));
    EXPECT_EQ(edited.calibrationFor(QStringLiteral("Office_Inkjet")), (PrinterCalibration{2.0, -0.5, 99}));

    // The test page of the chosen design, into a file (never corrected: it may be printed anywhere).
    const QString pdf = dir.filePath(QStringLiteral("test-page.pdf"));
    boxes.fileName(pdf);
    ASSERT_TRUE(dlg.saveTestPage());
    const QString text = cardtest::pdfText(pdf);
    EXPECT_TRUE(text.contains(designElementTitle(QStringLiteral("destCall")))) << text.toStdString();
    EXPECT_FALSE(text.contains(designElementTitle(QStringLiteral("ownCall")))) << "only the boxes the design shows";
}

} // namespace
