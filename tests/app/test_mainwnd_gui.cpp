#include "CountingLogTable.h"
#include "MemoryLogTable.h"
#include "RecordingCardAutomation.h"
#include "ScriptedDialogs.h"
#include "app/SingleInstance.h"
#include "app/TFieldDefBox.h"
#include "app/TMainWnd.h"
#include "app/UnsentCount.h"
#include "cardlink/CardLink.h"
#include "common/Cp932.h"
#include "convdef/Guess.h"
#include "convdef/SettingsLocation.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>

namespace {

/** Runs each window in a fresh current folder that is also the user's settings folder, so that its settings file
 * starts out missing and nothing of the real home is touched. */
class MainWndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCwd = QDir::currentPath();
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
        ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("KELBO")));
        QDir::setCurrent(dir());
    }
    void TearDown() override
    {
        QDir::setCurrent(m_oldCwd);
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    QString root() const { return m_dir.path() + QLatin1Char('/'); }
    QString dir() const { return root() + QStringLiteral("KELBO/"); }
    QString iniText() const
    {
        QFile f(dir() + QStringLiteral("KELBO.ini"));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

    /** A window over a ten-field table in memory that opens under the name "LOG.DB". */
    std::unique_ptr<TMainWnd> window()
    {
        std::vector<std::string> names;
        std::vector<std::string> row;
        for (int i = 1; i <= 10; ++i) {
            names.push_back("F" + std::to_string(i));
            row.push_back("v" + std::to_string(i));
        }
        auto table = std::make_unique<MemoryLogTable>("LOG.DB", names, std::vector<std::vector<std::string>>{row, row});
        m_table = table.get();
        return std::make_unique<TMainWnd>(QStringList{QStringLiteral("kelbo")}, std::move(table));
    }

    ScriptedDialogs dialogs;
    MemoryLogTable* m_table = nullptr;

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    QByteArray m_oldConfig;
};

TEST_F(MainWndTest, StartsWithTheDesignValuesWhenThereIsNoSettingsFile)
{
    auto w = window();
    EXPECT_EQ(w->BaseDir, dir());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("KELBO Ver 1.03"));
    EXPECT_EQ(w->EditDir->text(), QDir::homePath() + QStringLiteral("/LOGDATA"));
    EXPECT_EQ(w->EditLog->text(), QStringLiteral("LOG.DB"));
    EXPECT_FALSE(w->AllSend->isChecked());
    EXPECT_TRUE(w->CBUTC->isChecked());
    EXPECT_EQ(w->SendMark->text(), QStringLiteral("F"));
    for (const std::string& e : w->convDefTable()) {
        EXPECT_EQ(e, "NULL");
    }
    EXPECT_EQ(w->SendFieldIndex, -1);
    EXPECT_FALSE(w->CARDOBtn->isEnabled());
    EXPECT_FALSE(w->SendMark->isEnabled());
    EXPECT_TRUE(w->LSendMark->isEnabled());
    EXPECT_FALSE(w->table().IsOpen()) << "nothing is opened at start";
    EXPECT_EQ(m_table->opens, 0);
    EXPECT_FALSE(w->Timer->isActive());
    EXPECT_EQ(w->Timer->interval(), 2000);
    EXPECT_EQ(MainWnd, w.get());
}

TEST_F(MainWndTest, SettingsFolderRules)
{
    // Folders: one with a settings file, one without, and a user settings folder.
    const QString withIni = root() + QStringLiteral("win");
    const QString without = root() + QStringLiteral("empty");
    const QString config = root() + QStringLiteral("cfg/KELBO/");
    ASSERT_TRUE(QDir().mkpath(withIni) && QDir().mkpath(without));
    QFile ini(withIni + QStringLiteral("/KELBO.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.close();
    struct Case
    {
        QStringList args;
        QString cwd;
        QString configDir;
        QString expected;
    };
    const Case cases[] = {
        {{"kelbo"}, withIni, config, withIni + "/"}, // a settings file in the current folder wins
        {{"kelbo"}, without, config, config}, // else the user's settings folder
        {{"kelbo"}, without, "", without + "/"},
        {{"kelbo"}, "", "", ""},
        {{"kelbo", without}, withIni, config, without + "/"}, // a folder on the command line
        {{"kelbo", "-x"}, withIni, config, "/opt/kelbo/"}, // any other argument: the executable's folder
        {{"kelbo", withIni + "/KELBO.ini"}, without, config, "/opt/kelbo/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(settingsBaseDir(c.args, "/opt/kelbo", c.cwd, c.configDir), c.expected)
            << c.args.join(' ').toStdString() << " in " << c.cwd.toStdString();
    }

    qputenv("XDG_CONFIG_HOME", "/xdg/conf/");
    EXPECT_EQ(userConfigDir(), QStringLiteral("/xdg/conf/KELBO/"));
    for (const char* ignored : {"", "relative/conf"}) {
        qputenv("XDG_CONFIG_HOME", ignored);
        EXPECT_EQ(userConfigDir(), QDir::homePath() + QStringLiteral("/.config/KELBO/")) << ignored;
    }
}

TEST_F(MainWndTest, FirstStartMakesTheUserSettingsFolderAndKeepsTheSettingsThere)
{
    QDir::setCurrent(root()); // no settings file here
    qputenv("XDG_CONFIG_HOME", (root() + QStringLiteral("new/conf")).toUtf8());
    const QString expected = root() + QStringLiteral("new/conf/KELBO/");
    {
        auto w = window();
        EXPECT_EQ(w->BaseDir, expected);
        EXPECT_TRUE(QFileInfo(expected).isDir());
        w->SendMark->setText(QStringLiteral("済"));
        EXPECT_TRUE(w->FormCloseQuery());
    }
    EXPECT_TRUE(QFile::exists(expected + QStringLiteral("KELBO.ini")));
    EXPECT_FALSE(QFile::exists(root() + QStringLiteral("KELBO.ini")));
    EXPECT_EQ(window()->SendMark->text(), QStringLiteral("済")) << "the next start reads the same file";
}

TEST_F(MainWndTest, SendFieldAndControlStates)
{
    struct Case
    {
        std::vector<std::pair<int, std::string>> entries;
        bool open;
        int sendIndex;
    };
    const Case cases[] = {
        {{}, false, -1},
        {{{5, "SEND"}, {9, "SEND"}}, false, 5}, // the lower position counts
        {{{3, "send"}}, true, -1}, // case-sensitive
        {{{3, "SEND "}, {63, "SEND"}}, true, 63},
        {{{0, "SEND"}}, true, 0},
    };
    for (const auto& c : cases) {
        auto w = window();
        for (const auto& [pos, text] : c.entries) {
            w->convDefTable()[static_cast<std::size_t>(pos)] = text;
        }
        if (c.open) {
            w->ConBtnClick();
        }
        w->SendFieldIndex = w->FindSendField();
        w->UpdateControls();
        EXPECT_EQ(w->SendFieldIndex, c.sendIndex);
        EXPECT_EQ(w->CARDOBtn->isEnabled(), c.open);
        EXPECT_EQ(w->SendMark->isEnabled(), c.sendIndex >= 0);
        EXPECT_TRUE(w->LSendMark->isEnabled());
    }
}

TEST_F(MainWndTest, ConnectOpensTheTypedTableAndABadNameLeavesItClosed)
{
    auto w = window();
    w->EditDir->setText(QStringLiteral("/any/where"));
    w->ConBtn->click();
    EXPECT_TRUE(w->table().IsOpen());
    EXPECT_TRUE(w->CARDOBtn->isEnabled());
    EXPECT_TRUE(dialogs.asked.empty());

    w->EditLog->setText(QStringLiteral("NOPE.DB"));
    w->ConBtn->click();
    EXPECT_FALSE(w->table().IsOpen());
    EXPECT_FALSE(w->CARDOBtn->isEnabled());
    EXPECT_EQ(dialogs.texts(QStringLiteral("ShowError")),
              QStringList{QStringLiteral("Cannot open table /any/whereNOPE.DB: no such file")})
        << "folder and name are passed on exactly as typed";
}

TEST_F(MainWndTest, ConnectShowsEachSampleTableInTheGrid)
{
    TMainWnd w(QStringList{QStringLiteral("kelbo")});
    w.EditDir->setText(QStringLiteral(KELBO_SAMPLE_DIR)); // no final '/': passed on as typed
    for (const char* name : {"LOG.DB", "LOG.DBF", "LOG.TXT"}) {
        w.EditLog->setText(QString::fromLatin1(name));
        w.ConBtn->click();
        ASSERT_TRUE(w.table().IsOpen()) << name << ": "
                                        << dialogs.texts(QStringLiteral("ShowError")).join(' ').toStdString();
        EXPECT_TRUE(w.CARDOBtn->isEnabled());
        const QAbstractItemModel* grid = w.DBGrid->model();
        EXPECT_EQ(grid->columnCount(), 13) << name;
        EXPECT_GT(grid->rowCount(), 4) << name;
        EXPECT_EQ(grid->headerData(2, Qt::Horizontal).toString(), QStringLiteral("CALL")) << name;
        EXPECT_EQ(grid->index(0, 2).data().toString(), QStringLiteral("JA1ZQX")) << name;
        EXPECT_EQ(grid->index(0, 7).data().toString(), QStringLiteral("山田 太郎")) << name;
    }

    w.EditLog->setText(QString());
    w.ConBtn->click();
    EXPECT_FALSE(w.table().IsOpen());
    EXPECT_FALSE(w.CARDOBtn->isEnabled());
    EXPECT_EQ(dialogs.texts(QStringLiteral("ShowError")).size(), 1);
    EXPECT_EQ(w.DBGrid->model()->rowCount(), 0);
}

// An ADIF log writes its own mark: the box shows "Y" and cannot be edited while the log is open; the user's own
// mark comes back with the next table and is what the settings file keeps.
TEST_F(MainWndTest, AdifLogShowsItsOwnSendMark)
{
    TMainWnd w(QStringList{QStringLiteral("kelbo")});
    w.convDefTable()[13] = "SEND";
    w.SendFieldIndex = w.FindSendField();
    w.SendMark->setText(QStringLiteral("S"));
    w.EditDir->setText(QStringLiteral(KELBO_SAMPLE_DIR "/"));
    w.EditLog->setText(QStringLiteral("LOG.ADI"));
    w.ConBtn->click();
    ASSERT_TRUE(w.table().IsOpen()) << dialogs.texts(QStringLiteral("ShowError")).join(' ').toStdString();
    EXPECT_EQ(w.SendMark->text(), QStringLiteral("Y"));
    EXPECT_TRUE(w.SendMark->isReadOnly());
    EXPECT_EQ(w.DBGrid->model()->headerData(13, Qt::Horizontal).toString(), QStringLiteral("QSL_SENT"));
    EXPECT_EQ(w.DBGrid->model()->index(0, 8).data().toString(), QStringLiteral("山田 太郎"));
    w.ConBtn->click(); // the same log again: the user's mark is still kept aside
    EXPECT_TRUE(w.FormCloseQuery());
    EXPECT_TRUE(iniText().contains(QStringLiteral("\nSendMark=S\r\n"))) << iniText().toStdString();

    EXPECT_TRUE(dialogs.asked.empty());

    // Another table's fields: the definition made for the ADIF log is offered to it or kept.
    dialogs.answer(Answer::No);
    w.EditLog->setText(QStringLiteral("LOG.DBF"));
    w.ConBtn->click();
    EXPECT_EQ(w.SendMark->text(), QStringLiteral("S"));
    EXPECT_FALSE(w.SendMark->isReadOnly());
    EXPECT_EQ(dialogs.asked.size(), 1u);
}

TEST_F(MainWndTest, DamagedLogOpensWithOneNote)
{
    QFile log(dir() + QStringLiteral("bad.adi"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("<CALL:6>JA1ZQX<EOR><CALL:40>K6LTE");
    log.close();
    TMainWnd w(QStringList{QStringLiteral("kelbo")});
    w.EditDir->setText(dir());
    w.EditLog->setText(QStringLiteral("bad.adi"));
    w.ConBtn->click();
    EXPECT_TRUE(w.table().IsOpen());
    EXPECT_EQ(w.table().RecordCount(), 2);
    const QStringList notes = dialogs.texts(QStringLiteral("WarningBox"));
    ASSERT_EQ(notes.size(), 1);
    EXPECT_TRUE(notes[0].contains(QStringLiteral("bad.adi"))) << notes[0].toStdString();
}

TEST_F(MainWndTest, GridAndTableShareTheCurrentRecord)
{
    TMainWnd w(QStringList{QStringLiteral("kelbo")});
    w.EditDir->setText(QStringLiteral(KELBO_SAMPLE_DIR "/"));
    w.EditLog->setText(QStringLiteral("LOG.TXT"));
    w.ConBtnClick();
    w.DBGrid->setCurrentIndex(w.DBGrid->model()->index(3, 1));
    EXPECT_EQ(w.table().RecNo(), 3);
    w.table().MoveBy(-2);
    EXPECT_EQ(w.DBGrid->currentIndex().row(), 1);
}

TEST_F(MainWndTest, PanelStretchesAndKeepsEveryButtonInView)
{
    auto w = window();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    const QList<QWidget*> buttons = {w->RefBtn, w->ConBtn, w->FieldSetBtn, w->CARDOBtn};
    int lastDirWidth = 0;
    for (const int width : {420, w->minimumWidth(), 632, 1400}) {
        w->resize(width, 300);
        QApplication::processEvents();
        SCOPED_TRACE(width);
        const QWidget* panel = w->ConBtn->parentWidget();
        EXPECT_GE(w->width(), w->minimumWidth());
        for (QWidget* b : buttons) {
            EXPECT_TRUE(panel->rect().contains(b->geometry())) << b->objectName().toStdString();
            EXPECT_FALSE(b->geometry().intersects(w->EditLog->geometry()));
        }
        const QList<QWidget*> controls = panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (int i = 0; i < controls.size(); ++i) {
            for (int j = i + 1; j < controls.size(); ++j) {
                EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                    << controls[i]->metaObject()->className() << " and " << controls[j]->metaObject()->className()
                    << " overlap";
            }
        }
        EXPECT_LE(w->ConBtn->geometry().right(), panel->width() - 7) << "the right margin stays";
        EXPECT_GE(w->EditDir->width(), lastDirWidth) << "the folder box takes the extra width";
        lastDirWidth = w->EditDir->width();
    }
    EXPECT_GT(lastDirWidth, 185 + 700);
}

TEST_F(MainWndTest, KeyboardEnterConnectsAndTabLeavesTheGrid)
{
    auto w = window();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    for (QLineEdit* edit : {w->EditDir, w->EditLog}) {
        const int before = m_table->opens;
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(m_table->opens, before + 1) << "Enter presses 接続";
        EXPECT_TRUE(w->table().IsOpen());
    }
    w->DBGrid->setFocus();
    w->DBGrid->setCurrentIndex(w->DBGrid->model()->index(0, 0));
    QTest::keyClick(w->DBGrid, Qt::Key_Right);
    EXPECT_EQ(w->DBGrid->currentIndex().column(), 1) << "arrows still move between cells";
    QTest::keyClick(w->DBGrid, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), w->DBGrid) << "Tab leaves the grid";
}

TEST_F(MainWndTest, BrowseOpensInTheFolderTyped)
{
    auto w = window();
    w->EditDir->setText(root());
    w->RefBtn->click(); // cancelled
    w->EditDir->setText(root() + QStringLiteral("no such folder"));
    w->RefBtn->click();
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[0].request.startDir, root());
    EXPECT_EQ(dialogs.asked[1].request.startDir, QDir::homePath()) << "the home folder for a folder that is not there";
}

TEST_F(MainWndTest, BrowseFillsFolderAndNameWithoutConnecting)
{
    auto w = window();
    dialogs.fileName(QStringLiteral("/data/QSO 2024/表LOG.DB"));
    w->RefBtn->click();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].request.title, QStringLiteral("データベースファイルを選択"));
    EXPECT_EQ(dialogs.asked[0].request.filter,
              QStringLiteral("BDEデータベースファイル (*.db *.dbf *.txt *.csv *.adi *.adif)"));
    EXPECT_EQ(dialogs.asked[0].request.defaultExt, QStringLiteral("db"));
    EXPECT_EQ(dialogs.asked[0].request.startDir, QDir::homePath()); // the design folder ~/LOGDATA is not there
    EXPECT_EQ(w->EditDir->text(), QStringLiteral("/data/QSO 2024/"));
    EXPECT_EQ(w->EditLog->text(), QStringLiteral("表LOG.DB"));
    EXPECT_EQ(m_table->opens, 0);

    w->RefBtn->click(); // cancelled
    EXPECT_EQ(w->EditDir->text(), QStringLiteral("/data/QSO 2024/"));
    EXPECT_EQ(w->EditLog->text(), QStringLiteral("表LOG.DB"));
}

TEST_F(MainWndTest, CloseWithTheTableClosedWritesSettingsAndAsksNothing)
{
    auto w = window();
    EXPECT_TRUE(w->FormCloseQuery());
    const QString ini = iniText();
    EXPECT_TRUE(ini.contains(QStringLiteral("[LOGFILE]")));
    EXPECT_TRUE(ini.contains(QStringLiteral("\nName=LOG.DB")));
    EXPECT_TRUE(ini.contains(QStringLiteral("\nUTC=1")));
    EXPECT_TRUE(ini.contains(QStringLiteral("\nFIELD1=NULL")));
    EXPECT_TRUE(ini.contains(QStringLiteral("\nFIELD64=NULL")));
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(MainWndTest, CloseWithTheTableOpenAndNoTransferAsksNothing)
{
    auto w = window();
    w->ConBtnClick();
    EXPECT_TRUE(w->FormCloseQuery());
    EXPECT_FALSE(iniText().isEmpty());
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(MainWndTest, CancelInTheClosingQuestionKeepsTheWindowOpenWithTheSettingsWritten)
{
    auto w = window();
    w->convDefTable()[9] = "SEND";
    w->SendFieldIndex = w->FindSendField();
    w->ConBtnClick();
    w->PrintPhase = 2; // a send-mark update is due
    w->AllSend->setChecked(true);
    w->show();

    dialogs.answer(Answer::Cancel);
    w->close();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(dialogs.texts(QStringLiteral("YesNoCancelBox")).size(), 1);
    EXPECT_TRUE(iniText().contains(QStringLiteral("\nAllSend=1")));
    EXPECT_TRUE(w->table().IsOpen());

    dialogs.answer(Answer::No);
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(dialogs.texts(QStringLiteral("YesNoCancelBox")).size(), 2);
    EXPECT_TRUE(dialogs.texts(QStringLiteral("ShowError")).isEmpty());
}

TEST_F(MainWndTest, FailedSettingsWriteIsShownAndTheWindowStillCloses)
{
    auto w = window();
    w->BaseDir = dir() + QStringLiteral("missing/");
    EXPECT_TRUE(w->FormCloseQuery());
    EXPECT_EQ(dialogs.texts(QStringLiteral("ShowError")),
              QStringList{dir() + QStringLiteral("missing/KELBO.ini に書き込めません")});
}

TEST_F(MainWndTest, SettingsComeBackTheSameAfterARestart)
{
    {
        auto w = window();
        w->EditDir->setText(QStringLiteral("/home/op/ログ"));
        w->EditLog->setText(QStringLiteral("QSO.dbf")); // typed, never connected
        w->AllSend->setChecked(true);
        w->CBUTC->setChecked(false);
        w->SendMark->setText(QString());
        w->convDefTable()[6] = "";
        w->convDefTable()[7] = "SEND";
        w->convDefTable()[8] = cp932::fromUtf8("QSL｢My｣");
        w->close();
        EXPECT_FALSE(w->isVisible());
    }
    auto w = window();
    EXPECT_EQ(w->EditDir->text(), QStringLiteral("/home/op/ログ"));
    EXPECT_EQ(w->EditLog->text(), QStringLiteral("QSO.dbf"));
    EXPECT_TRUE(w->AllSend->isChecked());
    EXPECT_FALSE(w->CBUTC->isChecked());
    EXPECT_EQ(w->SendMark->text(), QString());
    EXPECT_EQ(w->convDefTable()[6], "") << "an empty entry stays empty";
    EXPECT_EQ(w->convDefTable()[8], cp932::fromUtf8("QSL｢My｣"));
    EXPECT_EQ(w->SendFieldIndex, 7);
    EXPECT_TRUE(w->SendMark->isEnabled());
    EXPECT_FALSE(w->table().IsOpen());
}

/** Presses 変換定義 and lets @p act work on the open dialog before it ends. */
void runDefinitionDialog(TMainWnd& w, const std::function<void(TFieldDefBox&)>& act)
{
    QTimer::singleShot(0, [&act] {
        auto* box = qobject_cast<TFieldDefBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        act(*box);
    });
    w.FieldSetBtn->click();
}

TEST_F(MainWndTest, DefinitionDialogHandsBackOnlyOnOk)
{
    auto w = window();
    w->ConBtnClick();
    w->convDefTable()[20] = "QTH";
    const ConvDefTable before = w->convDefTable();

    const auto editAndEnd = [](QPushButton* TFieldDefBox::*button) {
        return [button](TFieldDefBox& box) {
            box.SelectRow(2);
            box.FieldEdit->setEditText(QStringLiteral("SEND"));
            (box.*button)->click();
        };
    };
    runDefinitionDialog(*w, editAndEnd(&TFieldDefBox::CancelBtn));
    EXPECT_EQ(w->convDefTable(), before);
    EXPECT_EQ(w->SendFieldIndex, -1);

    runDefinitionDialog(*w, [](TFieldDefBox& box) {
        box.SelectRow(2);
        box.FieldEdit->setEditText(QStringLiteral("SEND"));
        QTest::keyClick(&box, Qt::Key_Escape);
    });
    EXPECT_EQ(w->convDefTable(), before);

    runDefinitionDialog(*w, [](TFieldDefBox& box) {
        box.AutoBtn->click(); // the guess fills the copy only
        box.CancelBtn->click();
    });
    EXPECT_EQ(w->convDefTable(), before);

    runDefinitionDialog(*w, editAndEnd(&TFieldDefBox::OKBtn));
    ConvDefTable expected = before;
    expected[1] = "SEND";
    EXPECT_EQ(w->convDefTable(), expected);
    EXPECT_EQ(w->SendFieldIndex, 1);
    EXPECT_TRUE(w->SendMark->isEnabled());
}

TEST_F(MainWndTest, RecordChosenInTheDialogStaysCurrent)
{
    auto w = window();
    w->ConBtnClick();
    runDefinitionDialog(*w, [](TFieldDefBox& box) {
        box.NavNext->click();
        box.OKBtn->click();
    });
    EXPECT_EQ(w->table().RecNo(), 1);
}

} // namespace

// Values KELBO cannot decode are shown with replacement characters but written back byte for byte at close,
// and the send mark keeps its bytes for the marks too; a changed value is encoded anew.
TEST_F(MainWndTest, UndecodableSettingsAreWrittenBackByteForByte)
{
    const QByteArray lines = QByteArray("[LOGFILE]\r\nDir=/tmp/log\x82\r\nName=LOG\x80\xa0\xfd\xfe\xff.DB\r\n"
                                        "[CARDO]\r\nAllSend=0\r\nUTC=1\r\nSendMark=\x81\r\n");
    {
        QFile f(dir() + QStringLiteral("KELBO.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(lines);
    }
    auto w = window();
    EXPECT_EQ(w->SendMarkBytes(), "\x81");
    EXPECT_TRUE(w->FormCloseQuery());
    QFile f(dir() + QStringLiteral("KELBO.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith(lines));
    EXPECT_TRUE(dialogs.texts(QStringLiteral("WarningBox")).isEmpty());

    w->SendMark->setText(QStringLiteral("済"));
    EXPECT_EQ(w->SendMarkBytes(), cp932::fromUtf8("済"));
}

TEST_F(MainWndTest, UnreadableSettingsAndShortTablesAreToldOnce)
{
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("KELBO.ini")));
    auto w = window();
    EXPECT_EQ(dialogs.texts(QStringLiteral("WarningBox")),
              QStringList{dir() + QStringLiteral("KELBO.ini を読めません. 既定の設定で始めます")});
    EXPECT_EQ(w->EditLog->text(), QStringLiteral("LOG.DB"));

    m_table->note = "テーブル LOG.DB の 3 件目から後を読めません";
    w->EditLog->setText(QStringLiteral("LOG.DB"));
    w->ConBtn->click();
    w->ConBtn->click();
    EXPECT_EQ(dialogs.texts(QStringLiteral("WarningBox")).size(), 3) << "one note per connect";
    EXPECT_EQ(dialogs.texts(QStringLiteral("WarningBox")).last(), QString::fromStdString(m_table->note));
}

// A home folder CP932 cannot name gives a default folder that survives a restart without any typing.
TEST_F(MainWndTest, DefaultFolderOutsideCp932SurvivesARestart)
{
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QStringLiteral("/home/jürg-한글").toUtf8());
    QString shown;
    {
        auto w = window();
        shown = w->EditDir->text();
        EXPECT_EQ(shown, QStringLiteral("/home/jürg-한글/LOGDATA"));
        EXPECT_TRUE(w->FormCloseQuery());
    }
    auto again = window();
    EXPECT_EQ(again->EditDir->text(), shown);
    qputenv("HOME", oldHome);
}

// Connect shows the first screen at once: the unsent records are counted in steps between events, and an update and
// its undo correct the count by reading only the records they touched.
TEST_F(MainWndTest, UnsentCountFollowsWithoutAFullReadOnConnectUpdateOrUndo)
{
    // A real text table that counts the cells read (grid, count and undo alike).
    const long records = 400000;
    {
        QFile csv(root() + QStringLiteral("BIG.CSV"));
        ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
        QByteArray text = "CALL,SEND\n";
        for (long r = 0; r < records; ++r) {
            text += r % 4 == 0 ? "JA1AA,F\n" : "JA1AA,\n"; // a quarter sent
        }
        csv.write(text);
    }
    auto owned = std::make_unique<CountingLogTable>();
    CountingLogTable* table = owned.get();
    TMainWnd w(QStringList{QStringLiteral("kelbo")}, std::move(owned));
    w.EditDir->setText(root());
    w.EditLog->setText(QStringLiteral("BIG.CSV"));
    w.convDefTable()[1] = "SEND";
    w.SendFieldIndex = w.FindSendField();

    w.ConBtn->click();
    ASSERT_TRUE(w.table().IsOpen());
    EXPECT_LT(table->cells, records) << "connect returns before every record is read";
    EXPECT_TRUE(w.StatusCounts->text().startsWith(QStringLiteral("全400000件 未送信 集計中 ")))
        << w.StatusCounts->text().toStdString();
    EXPECT_EQ(w.DBGrid->model()->index(0, 0).data().toString(), QStringLiteral("JA1AA"));

    // An update of three records while the count runs: one already counted as sent (as with すべて引き渡す), one
    // counted as unsent, one not counted yet. The count goes on before the update tells what it wrote, as it may
    // while the card program is told to drop the printed lines.
    const std::vector<long> positions{1, 4, records - 1};
    std::vector<SendMarkUndo::Mark> marks;
    std::vector<std::string> texts;
    const RecordPrint print(w.table(), WrittenFieldNames(w.table(), 1));
    for (long p : positions) {
        w.table().MoveTo(p);
        w.table().FieldTexts(texts);
        marks.push_back({p, texts[1], print(texts)});
        w.table().EditRecord();
        w.table().SetFieldText(1, "F");
        w.table().Post();
    }
    ASSERT_LT(w.unsentCount().counted(), records - 1);
    for (int i = 0; i < 100000 && !w.unsentCount().done(); ++i) {
        QTest::qWait(1);
    }
    ASSERT_TRUE(w.unsentCount().done());
    EXPECT_EQ(w.StatusCounts->text(), QStringLiteral("全400000件 未送信299999件 今回マーク0件"));

    table->cells = 0;
    w.SendMarksWritten(marks);
    ASSERT_TRUE(dialogs.asked.empty());
    EXPECT_EQ(w.StatusCounts->text(), QStringLiteral("全400000件 未送信299998件 今回マーク3件"));
    EXPECT_LE(table->cells, 200) << "only the marked records and the rows in view are read";

    table->cells = 0;
    ASSERT_TRUE(w.UndoBtn->isEnabled());
    dialogs.answer(Answer::Yes);
    w.UndoBtn->click();
    ASSERT_TRUE(dialogs.texts(QStringLiteral("ShowError")).isEmpty())
        << dialogs.texts(QStringLiteral("ShowError")).join(' ').toStdString();
    EXPECT_EQ(w.StatusCounts->text(), QStringLiteral("全400000件 未送信300000件 今回マーク0件"));
    EXPECT_LE(table->cells, 200);
}

/** A user without settings yet: HOME, the settings folder and the system's data folders (holding the bundled sample
 * as the package installs it) in a temporary folder. */
class FirstStartTest : public MainWndTest
{
protected:
    void SetUp() override
    {
        MainWndTest::SetUp();
        m_oldHome = qgetenv("HOME");
        m_oldDataDirs = qgetenv("XDG_DATA_DIRS");
        home = root() + QStringLiteral("home");
        const QString sample = root() + QStringLiteral("share/kelbo/sample/");
        ASSERT_TRUE(QDir().mkpath(home) && QDir().mkpath(sample));
        for (const QString& f : QDir(QStringLiteral(KELBO_SAMPLE_DIR)).entryList(QDir::Files)) {
            ASSERT_TRUE(QFile::copy(QStringLiteral(KELBO_SAMPLE_DIR "/") + f, sample + f));
        }
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
        qputenv("XDG_DATA_DIRS", (root() + QStringLiteral("share")).toUtf8());
        QDir::setCurrent(home);
        logData = home + QStringLiteral("/KELBO/LOGDATA/");
    }
    void TearDown() override
    {
        qputenv("HOME", m_oldHome);
        qputenv("XDG_DATA_DIRS", m_oldDataDirs);
        MainWndTest::TearDown();
    }
    std::unique_ptr<TMainWnd> start()
    {
        auto w = std::make_unique<TMainWnd>(QStringList{QStringLiteral("kelbo")});
        w->StartUp();
        return w;
    }

    QString home;
    QString logData;

private:
    QByteArray m_oldHome;
    QByteArray m_oldDataDirs;
};

// The first start leads somewhere: the sample log, copied into the user's folder, open with a definition that fits
// it; the first 参照 looks in the home folder. The next start comes back to the table open at the close, where the
// window was left.
TEST_F(FirstStartTest, OpensTheSampleConnectedAndTheNextStartComesBackToIt)
{
    QRect placed;
    {
        auto w = start();
        ASSERT_TRUE(w->table().IsOpen()) << dialogs.texts(QStringLiteral("ShowError")).join(' ').toStdString();
        EXPECT_TRUE(dialogs.asked.empty());
        EXPECT_EQ(w->EditDir->text(), logData);
        EXPECT_EQ(w->EditLog->text(), QStringLiteral("LOG.DB"));
        EXPECT_TRUE(QFileInfo::exists(logData + QStringLiteral("LOG.ADI")));
        EXPECT_EQ(w->convDefTable()[2], "CALL");
        EXPECT_EQ(w->SendFieldIndex, 11);
        EXPECT_TRUE(w->CARDOBtn->isEnabled());
        EXPECT_TRUE(w->StatusCounts->text().contains(QStringLiteral("未送信")))
            << w->StatusCounts->text().toStdString();
        EXPECT_EQ(w->DBGrid->model()->index(0, 2).data().toString(), QStringLiteral("JA1ZQX"));

        w->RefBtn->click(); // cancelled
        w->RefBtn->click();
        ASSERT_EQ(dialogs.asked.size(), 2u);
        EXPECT_EQ(dialogs.asked[0].request.startDir, home);
        EXPECT_EQ(dialogs.asked[1].request.startDir, logData);

        w->setGeometry(40, 50, 900, 640);
        placed = w->geometry();
        EXPECT_TRUE(w->FormCloseQuery());
    }
    EXPECT_TRUE(QFileInfo::exists(home + QStringLiteral("/.config/KELBO/KELBO.ini")));
    EXPECT_TRUE(QFileInfo::exists(home + QStringLiteral("/.config/KELBO/KELBO-window.ini")));

    auto again = start();
    EXPECT_TRUE(again->table().IsOpen()) << "the table open at the close";
    EXPECT_EQ(again->geometry().size(), placed.size());
    EXPECT_EQ(again->convDefTable()[2], "CALL");
    dialogs.asked.clear();
    again->RefBtn->click();
    EXPECT_EQ(dialogs.asked.at(0).request.startDir, logData) << "home only on the first start";
}

TEST_F(FirstStartTest, TheLastTableIsConnectedOnlyWhileTheBoxesNameItItIsThereAndTheSettingAllows)
{
    start()->FormCloseQuery(); // the first start writes its settings and notes the open sample
    const QString state = home + QStringLiteral("/.config/KELBO/KELBO-window.ini");
    struct Case
    {
        const char* what;
        std::function<void()> change;
        bool connected;
    };
    const Case cases[] = {
        {"as closed", [] {}, true},
        {"setting off",
         [&] {
             QSettings s(state, QSettings::IniFormat);
             s.setValue(QStringLiteral("Window/ConnectAtStart"), 0);
         },
         false},
        {"setting on, table gone",
         [&] {
             QSettings s(state, QSettings::IniFormat);
             s.setValue(QStringLiteral("Window/ConnectAtStart"), 1);
             QFile::rename(logData + QStringLiteral("LOG.DB"), logData + QStringLiteral("OLD.DB"));
         },
         false},
    };
    for (const Case& c : cases) {
        c.change();
        auto w = start();
        EXPECT_EQ(w->table().IsOpen(), c.connected) << c.what;
        EXPECT_TRUE(dialogs.asked.empty()) << c.what;
    }

    // A name typed without 接続 is kept for the next start, which then opens nothing.
    QFile::rename(logData + QStringLiteral("OLD.DB"), logData + QStringLiteral("LOG.DB"));
    {
        auto w = start();
        ASSERT_TRUE(w->table().IsOpen());
        w->EditLog->setText(QStringLiteral("LOG.DBF"));
        EXPECT_TRUE(w->FormCloseQuery());
    }
    auto typed = start();
    EXPECT_EQ(typed->EditLog->text(), QStringLiteral("LOG.DBF"));
    EXPECT_FALSE(typed->table().IsOpen());
}

// A log of the operator's own where the sample would go is never overwritten, nor opened with the sample's
// definition.
TEST_F(FirstStartTest, KeepsAnOwnLogWhereTheSampleWouldGo)
{
    ASSERT_TRUE(QDir().mkpath(logData));
    QFile own(logData + QStringLiteral("LOG.DB"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("my own log");
    own.close();
    auto w = start();
    EXPECT_FALSE(w->table().IsOpen());
    EXPECT_EQ(w->convDefTable()[2], "NULL");
    QFile kept(logData + QStringLiteral("LOG.DB"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("my own log"));
    EXPECT_TRUE(dialogs.asked.empty());
}

// One close asks once: a close requested again (the application quitting, a second click) does not ask again.
TEST_F(FirstStartTest, ANoAtCloseIsNotAskedAgainInTheSameClose)
{
    auto w = start();
    ASSERT_TRUE(w->table().IsOpen());
    auto* card = new RecordingCardAutomation;
    w->m_link = std::make_unique<CardLink>([card]() { return std::unique_ptr<CardAutomation>(card); });
    w->show();
    w->CARDOBtnClick();
    ASSERT_FALSE(card->lines.empty());
    card->print({0});

    dialogs.answer(Answer::No);
    EXPECT_TRUE(w->close());
    EXPECT_EQ(dialogs.texts(QStringLiteral("YesNoCancelBox")).size(), 1);
    QCloseEvent again;
    QApplication::sendEvent(w.get(), &again);
    EXPECT_TRUE(again.isAccepted());
    EXPECT_EQ(dialogs.texts(QStringLiteral("YesNoCancelBox")).size(), 1) << "asked once";
}

// A second start hands its command line to the running KELBO and leaves: the running window opens the table named.
TEST_F(FirstStartTest, ASecondStartOpensItsTableInTheRunningWindow)
{
    const QString runtime = root() + QStringLiteral("run");
    ASSERT_TRUE(QDir().mkpath(runtime));
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    auto w = start();
    SingleInstance running;
    ASSERT_TRUE(running.listen(SingleInstance::defaultName()));
    QObject::connect(&running, &SingleInstance::started, w.get(),
                     [&w](const QStringList& args, const QString& cwd) { w->OpenFromCommandLine(args, cwd); });

    // What is no request is dropped, and the window goes on listening.
    int started = 0;
    QObject::connect(&running, &SingleInstance::started, [&started] { ++started; });
    for (const QByteArray& junk : {QByteArray("\xff\xff\xff\xffjunk", 8),
                                   QByteArray("\0\0\0\x03"
                                              "abc",
                                              7)}) {
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::defaultName());
        ASSERT_TRUE(socket.waitForConnected(3000));
        socket.write(junk);
        socket.flush();
        for (int i = 0; i < 300 && socket.state() == QLocalSocket::ConnectedState; ++i) {
            QTest::qWait(10);
        }
        EXPECT_NE(socket.state(), QLocalSocket::ConnectedState) << junk.toHex().toStdString();
    }
    EXPECT_EQ(started, 0);

    QProcess second;
    second.setWorkingDirectory(logData);
    second.start(QStringLiteral(KELBO_BINARY_DIR "/src/app/kelbo"), {QStringLiteral("LOG.ADI")});
    for (int i = 0; i < 3000 && second.state() != QProcess::NotRunning; ++i) {
        QTest::qWait(10);
    }
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    ASSERT_EQ(second.state(), QProcess::NotRunning);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(w->EditDir->text(), logData);
    EXPECT_EQ(w->EditLog->text(), QStringLiteral("LOG.ADI"));
    EXPECT_TRUE(w->table().IsOpen());
    EXPECT_EQ(QFileInfo(QString::fromStdString(w->table().FilePath())).fileName(), QStringLiteral("LOG.ADI"));
    EXPECT_EQ(started, 1);
}

namespace {

/** Copies the sample log's tables into @p folder. */
void copySample(const QString& folder)
{
    for (const char* f : {"LOG.DB", "LOG.ADI", "LOG.TXT", "LOG.SCH"}) {
        QFile::remove(folder + QString::fromLatin1(f));
        ASSERT_TRUE(QFile::copy(QStringLiteral(KELBO_SAMPLE_DIR "/") + f, folder + QString::fromLatin1(f)));
    }
}

/** The position of the field named @p name in the open table, or -1. */
int fieldAt(TMainWnd& w, const char* name)
{
    for (int i = 0; i < w.table().FieldCount(); ++i) {
        if (w.table().FieldName(i) == name) {
            return i;
        }
    }
    return -1;
}

} // namespace

// A definition belongs to the table it was made for: another table's field names are said once, with the guess
// offered; each table gets back the definition last used with it, also after a restart.
TEST_F(MainWndTest, DefinitionOfAnotherTableIsSaidOnceAndEachTableKeepsItsOwn)
{
    copySample(dir());
    const QString question = QStringLiteral("このテーブルのフィールド名は, 今の変換定義を作ったテーブルと違います.");
    {
        TMainWnd w(QStringList{QStringLiteral("kelbo")});
        w.EditDir->setText(dir());
        w.convDefTable().fill("NULL");
        w.convDefTable()[0] = "YY/MM/DD";
        w.convDefTable()[2] = "CALL";
        w.convDefTable()[11] = "SEND";
        w.EditLog->setText(QStringLiteral("LOG.DB"));
        w.ConBtn->click();
        ASSERT_TRUE(w.table().IsOpen());
        EXPECT_TRUE(dialogs.asked.empty()) << "a definition that names no fields is taken for the first table";
        const ConvDefTable home = w.convDefTable();

        dialogs.answer(Answer::Yes);
        w.EditLog->setText(QStringLiteral("LOG.ADI"));
        w.ConBtn->click();
        ASSERT_EQ(dialogs.asked.size(), 1u);
        EXPECT_TRUE(dialogs.asked[0].text.startsWith(question));
        EXPECT_EQ(w.convDefTable()[static_cast<std::size_t>(fieldAt(w, "CALL"))], "CALL") << "the guess";
        EXPECT_EQ(w.SendFieldIndex, fieldAt(w, "QSL_SENT"));
        const ConvDefTable portable = w.convDefTable();

        w.EditLog->setText(QStringLiteral("LOG.DB"));
        w.ConBtn->click();
        EXPECT_EQ(w.convDefTable(), home);
        EXPECT_EQ(w.SendFieldIndex, 11);
        w.EditLog->setText(QStringLiteral("LOG.ADI"));
        w.ConBtn->click();
        EXPECT_EQ(w.convDefTable(), portable);
        EXPECT_EQ(dialogs.asked.size(), 1u) << "asked once";

        // No keeps the definition as it stands for a table whose fields differ.
        dialogs.answer(Answer::No);
        w.EditLog->setText(QStringLiteral("LOG.TXT"));
        w.ConBtn->click();
        EXPECT_EQ(dialogs.asked.size(), 2u);
        EXPECT_EQ(w.convDefTable(), portable);
        EXPECT_TRUE(w.FormCloseQuery());
    }
    // After a restart the last table's definition is in use, and the others come back with their tables.
    TMainWnd w(QStringList{QStringLiteral("kelbo")});
    w.ConBtn->click();
    ASSERT_TRUE(w.table().IsOpen());
    w.EditLog->setText(QStringLiteral("LOG.DB"));
    w.ConBtn->click();
    EXPECT_EQ(w.SendFieldIndex, 11);
    EXPECT_EQ(w.convDefTable()[2], "CALL");
    EXPECT_EQ(dialogs.asked.size(), 2u);
}

// A log that gains a field keeps its definition: each entry follows its field's name.
TEST_F(MainWndTest, DefinitionFollowsItsFieldsWhenTheTableGainsOne)
{
    QFile log(dir() + QStringLiteral("log.adi"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("<CALL:6>JA1ZQX <QSO_DATE:8>20240428 <QSL_SENT:1>N <EOR>\n");
    log.close();
    TMainWnd w(QStringList{QStringLiteral("kelbo")});
    w.EditDir->setText(dir());
    w.EditLog->setText(QStringLiteral("log.adi"));
    w.ConBtn->click();
    ASSERT_TRUE(w.table().IsOpen());
    w.convDefTable() = GuessConvDef(w.table());
    w.DefinitionEdited();
    const int call = fieldAt(w, "CALL");
    const std::string dateExpr = w.convDefTable()[static_cast<std::size_t>(fieldAt(w, "QSO_DATE"))];
    ASSERT_NE(dateExpr, "NULL");

    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("<CONTEST_ID:4>TEST <CALL:5>K1ABC <QSO_DATE:8>20240501 <EOR>\n"
              "<CALL:6>JA1ZQX <QSO_DATE:8>20240428 <QSL_SENT:1>N <EOR>\n");
    log.close();
    w.ConBtn->click();
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_NE(fieldAt(w, "CALL"), call) << "the fields moved";
    EXPECT_EQ(w.convDefTable()[static_cast<std::size_t>(fieldAt(w, "CALL"))], "CALL");
    EXPECT_EQ(w.convDefTable()[static_cast<std::size_t>(fieldAt(w, "QSO_DATE"))], dateExpr);
    EXPECT_EQ(w.convDefTable()[static_cast<std::size_t>(fieldAt(w, "CONTEST_ID"))], "NULL");
    EXPECT_EQ(w.SendFieldIndex, fieldAt(w, "QSL_SENT"));
}

// CARDO refuses a definition that converts no call sign or no date, and says what to do.
TEST_F(MainWndTest, TransferNeedsTheCallSignAndTheDateInTheDefinition)
{
    copySample(dir());
    TMainWnd w(QStringList{QStringLiteral("kelbo")});
    w.EditDir->setText(dir());
    w.EditLog->setText(QStringLiteral("LOG.DB"));
    w.ConBtn->click();
    ASSERT_TRUE(w.table().IsOpen());
    int created = 0;
    w.m_link = std::make_unique<CardLink>([&created]() -> std::unique_ptr<CardAutomation> {
        ++created;
        return nullptr;
    });
    for (const auto& [call, date] : {std::pair<const char*, const char*>{"NULL", "YY/MM/DD"}, {"CALL", "NULL"}}) {
        w.convDefTable().fill("NULL");
        w.convDefTable()[0] = date;
        w.convDefTable()[2] = call;
        w.convDefTable()[11] = "SEND";
        dialogs.asked.clear();
        w.CARDOBtn->click();
        ASSERT_EQ(dialogs.texts(QStringLiteral("ErrorBox")).size(), 1) << call << date;
        EXPECT_TRUE(dialogs.texts(QStringLiteral("ErrorBox"))[0].contains(QStringLiteral("「変換定義」")));
        EXPECT_EQ(created, 0);
    }
    w.convDefTable()[2] = "CALL";
    w.convDefTable()[0] = "YY/MM/DD";
    w.CARDOBtn->click();
    EXPECT_EQ(created, 1) << "a definition with both goes on to start the card program";
}
