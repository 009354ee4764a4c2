// What the table finds it cannot read only when a record is read (a damaged memo) is told once after 接続.
#include "ScriptedDialogs.h"
#include "TableWriters.h"
#include "app/TMainWnd.h"
#include "logtable/LogTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ReadNoteGui, MemoFoundDamagedAfterConnectingIsToldOnce)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString() + "/";
    qputenv("XDG_CONFIG_HOME", tmp.path().toUtf8());
    QDir::setCurrent(tmp.path());
    const std::string real = std::string(KELBO_FIXTURES_DIR) + "/paradox/db/";
    ASSERT_TRUE(tablewrite::writeFile(dir + "t.db", tablewrite::readFile(real + "CUSTOMER.DB")));
    // The memo file ends inside a memo: only reading that record finds it out.
    ASSERT_TRUE(tablewrite::writeFile(dir + "t.mb", tablewrite::readFile(real + "CUSTOMER.MB").substr(0, 0x3000)));

    ScriptedDialogs dialogs;
    TMainWnd w(QStringList{QStringLiteral("kelbo")});
    w.EditDir->setText(QString::fromStdString(dir));
    w.EditLog->setText(QStringLiteral("t.db"));
    w.ConBtnClick();
    ASSERT_TRUE(w.table().IsOpen());
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs.texts(QStringLiteral("WarningBox")).isEmpty()) << "nothing was damaged yet";

    // The grid reads the records, twice over.
    for (int pass = 0; pass < 2; ++pass) {
        for (long row = 0; row < w.table().RecordCount(); ++row) {
            for (int field = 0; field < w.table().FieldCount(); ++field) {
                w.table().CellText(row, field);
            }
        }
        QCoreApplication::processEvents();
    }
    const QStringList told = dialogs.texts(QStringLiteral("WarningBox"));
    ASSERT_EQ(told.size(), 1) << told.join('|').toStdString();
    EXPECT_TRUE(told[0].contains(QStringLiteral("一部が壊れている"))) << told[0].toStdString();
    EXPECT_TRUE(told[0].contains(QString::fromStdString(dir + "t.mb"))) << told[0].toStdString();

    // Connecting again starts over: the same damage is told again, once.
    w.ConBtnClick();
    for (long row = 0; row < w.table().RecordCount(); ++row) {
        w.table().CellText(row, 0);
        w.table().CellText(row, w.table().FieldCount() - 1);
    }
    QCoreApplication::processEvents();
    EXPECT_LE(dialogs.texts(QStringLiteral("WarningBox")).size(), 2);
}

} // namespace
