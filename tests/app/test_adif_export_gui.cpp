// "ADIF書き出し..." in the main window: the file dialog, the file written, the summary, and the grid left where it was.
#include "ScriptedDialogs.h"
#include "app/TMainWnd.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(AdifExportWindow, WritesTheUnsentContactsAndSaysSo)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("KELBO")));
    QFile templ(QStringLiteral(KELBO_SAMPLE_DIR "/KELBO.ini.in"));
    ASSERT_TRUE(templ.open(QIODevice::ReadOnly));
    QFile ini(home.filePath(QStringLiteral("KELBO/KELBO.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(templ.readAll().replace("@LOGDATA@", KELBO_SAMPLE_DIR "/"));
    ini.close();

    ScriptedDialogs dialogs;
    {
        TMainWnd w(QStringList{QStringLiteral("kelbo")});
        EXPECT_FALSE(w.AdifExportBtn->isEnabled()); // follows the open table, as CARDO does
        w.AdifExportBtnClick();
        EXPECT_EQ(dialogs.texts(QStringLiteral("WarningBox")),
                  QStringList{QStringLiteral("書き出すログを先に「接続」で開いてください.")});

        w.ConBtn->click();
        ASSERT_TRUE(w.table().IsOpen()) << dialogs.texts(QStringLiteral("ShowError")).join(' ').toStdString();
        EXPECT_TRUE(w.AdifExportBtn->isEnabled());
        w.table().MoveTo(3);
        const QString out = home.filePath(QStringLiteral("contacts.adi"));
        dialogs.fileName(QString()); // cancelled: nothing is written
        w.AdifExportBtn->click();
        EXPECT_FALSE(QFile::exists(out));
        dialogs.fileName(out);
        w.AdifExportBtn->click();

        ASSERT_EQ(dialogs.asked.back().kind, QStringLiteral("InfoBox"));
        EXPECT_EQ(dialogs.asked.back().text, QStringLiteral("14 件を %1 に書き出しました.").arg(out));
        const FileDialogSpec& asked = dialogs.asked[dialogs.asked.size() - 2].request;
        EXPECT_EQ(asked.fileName, QStringLiteral("LOG-export.adi")) << "LOG.ADI is the sample's ADIF log";
        EXPECT_EQ(asked.defaultExt, QStringLiteral("adi"));
        QFile written(out);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll().count("<EOR>"), 14);
        EXPECT_EQ(w.table().RecNo(), 3);
        EXPECT_TRUE(w.table().GridAttached());
        EXPECT_TRUE(dialogs.texts(QStringLiteral("ShowError")).isEmpty());
    }
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

} // namespace
