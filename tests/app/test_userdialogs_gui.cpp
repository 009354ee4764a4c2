// The real message boxes and file dialogs (no scripted answers here): Qt's own texts in the user's language, and
// SAVE of the definition dialog replacing a file without a question.
#include "app/QtTranslations.h"
#include "app/UserDialogs.h"
#include "app/TFieldDefBox.h"
#include "logtable/LogTable.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

/** Runs @p act on the modal window open once the event loop turns (the dialog a call below is about to run). */
void whenModal(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, [act] { act(QApplication::activeModalWidget()); });
}

TEST(QtDialogs, StandardButtonsSpeakJapaneseOnAJapaneseDesktop)
{
    ASSERT_TRUE(loadQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan)))
        << "Qt's translations are missing (Debian package qt6-translations-l10n)";
    QStringList texts;
    whenModal([&texts](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons()) {
            texts << b->text().remove(QLatin1Char('&'));
        }
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogs().YesNoCancelBox(nullptr, QStringLiteral("更新しますか？")), Answer::No);
    texts.sort();
    EXPECT_FALSE(texts.contains(QStringLiteral("Yes")) || texts.contains(QStringLiteral("Cancel")))
        << texts.join(' ').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("はい(Y)")) || texts.contains(QStringLiteral("はい")))
        << texts.join(' ').toStdString();
}

TEST(QtDialogs, SaveOfTheDefinitionReplacesAFileWithoutAQuestion)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ConvDef.def"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("FIELD1=OLD\r\n");
    old.close();

    std::unique_ptr<LogTable> table = createLogTable();
    ConvDefTable defs;
    defs.fill("NULL");
    defs[0] = "CALL";
    TFieldDefBox box(nullptr, defs, *table, dir.path() + QLatin1Char('/'));
    QStringList asked;
    whenModal([&asked, &path](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        // A question about the existing file would open while accept() runs: note it and refuse it.
        QTimer::singleShot(0, [&asked] {
            if (auto* q = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked << q->text();
                q->reject();
            }
        });
        dlg->selectFile(path);
        QMetaObject::invokeMethod(dlg, "accept");
    });
    box.SaveBtn->click();
    EXPECT_TRUE(asked.isEmpty()) << asked.join(' ').toStdString();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_TRUE(old.readAll().startsWith("FIELD1=CALL")) << "the file was replaced";
}

} // namespace
