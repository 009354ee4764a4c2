// The design dialog as the operator uses it: elements dragged and sized on the preview, typed values checked as a
// design file is, and designs saved under a new name without ever replacing a shipped one or an existing file.
#include "CardDesignDialog.h"
#include "CardoApplication.h"
#include "ScriptedDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

void PrintTo(const QRectF& r, std::ostream* os)
{
    *os << "(" << r.x() << ", " << r.y() << " " << r.width() << " x " << r.height() << ")";
}

namespace {

class CardDesignDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CardSettings s;
        s.call = QStringLiteral("JA1KEL");
        s.name = QStringLiteral("山田 花子");
        s.nextCardNumber = 12;
        ASSERT_TRUE(saveCardSettings(s, settingsPath()));
        app = std::make_unique<CardoApplication>(settingsPath());
    }

    /** The dialog over the held lines, shown at a usual size. */
    CardDesignDialog& open(int heldRow = -1)
    {
        dlg = std::make_unique<CardDesignDialog>(*app, heldRow, nullptr, folder());
        dlg->resize(1200, 800);
        dlg->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        return *dlg;
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("kelbo-cardprinter.ini")); }
    QString folder() const { return dir.filePath(QStringLiteral("designs")); }
    QString designPath(const QString& id) const { return QDir(folder()).filePath(id + QStringLiteral(".json")); }
    QRectF box(const QString& id) const { return dlg->design().element(id)->box; }
    QPoint at(const QPointF& mm) const { return dlg->preview()->toWidget(mm).toPoint(); }
    QDoubleSpinBox* spin(const char* name) const { return dlg->findChild<QDoubleSpinBox*>(QLatin1String(name)); }

    /** Drags on the preview from @p from to @p to (mm on the card). */
    void drag(const QPointF& from, const QPointF& to)
    {
        CardDesignPreview* p = dlg->preview();
        QTest::mousePress(p, Qt::LeftButton, Qt::NoModifier, at(from));
        const QPointF step = (to - from) / 4;
        for (int i = 1; i <= 4; ++i) {
            QTest::mouseMove(p, at(from + step * i));
        }
        QTest::mouseRelease(p, Qt::LeftButton, Qt::NoModifier, at(to));
    }

    /** Types @p text into the value field @p name and presses Enter. */
    void type(const char* name, const QString& text)
    {
        QDoubleSpinBox* b = spin(name);
        b->setFocus();
        b->selectAll();
        QTest::keyClicks(b, text);
        QTest::keyClick(b, Qt::Key_Return);
    }

    QTemporaryDir dir;
    std::unique_ptr<CardoApplication> app;
    std::unique_ptr<CardDesignDialog> dlg;
    ScriptedDialogs boxes;
};

void expectNear(const QRectF& got, const QRectF& want)
{
    EXPECT_NEAR(got.x(), want.x(), 0.5) << "x";
    EXPECT_NEAR(got.y(), want.y(), 0.5) << "y";
    EXPECT_NEAR(got.width(), want.width(), 0.5) << "width";
    EXPECT_NEAR(got.height(), want.height(), 0.5) << "height";
}

TEST_F(CardDesignDialogTest, ElementsAreChosenMovedAndSizedWithTheMouseOnTheCardsTrueProportions)
{
    CardDesignDialog& d = open();
    EXPECT_EQ(d.design().id, QStringLiteral("plain")) << "the design of domestic cards comes first";
    const QRectF card = d.preview()->cardRect();
    EXPECT_NEAR(card.height() / card.width(), 148.0 / 100.0, 0.01);
    EXPECT_GE(card.height(), 500) << "a preview large enough to work in";

    // A click chooses the smallest box under it: the call inside the "To Radio" frame.
    QTest::mouseClick(d.preview(), Qt::LeftButton, Qt::NoModifier, at(QPointF(50, 45)));
    EXPECT_EQ(d.preview()->selected(), QStringLiteral("destCall"));
    EXPECT_EQ(d.elementList()->currentItem()->data(Qt::UserRole).toString(), QStringLiteral("destCall"));

    const QRectF call = box(QStringLiteral("destCall"));
    drag(QPointF(40, 45), QPointF(35, 50.2));
    expectNear(box(QStringLiteral("destCall")), call.translated(-5, 5));
    EXPECT_EQ(std::fmod(box(QStringLiteral("destCall")).y() * 2, 1.0), 0.0) << "snapped to 0.5 mm";
    EXPECT_EQ(spin("y")->value(), box(QStringLiteral("destCall")).y()) << "the typed fields follow the mouse";

    // The bottom-right handle sizes it; the top-left corner stays.
    const QRectF moved = box(QStringLiteral("destCall"));
    drag(moved.bottomRight(), moved.bottomRight() + QPointF(-20, 3));
    expectNear(box(QStringLiteral("destCall")), QRectF(moved.topLeft(), moved.size() + QSizeF(-20, 3)));
    EXPECT_EQ(box(QStringLiteral("destCall")).topLeft(), moved.topLeft());

    // The top-left handle, and a drag far down: the box stops above the bureau's margin.
    const QRectF sized = box(QStringLiteral("destCall"));
    drag(sized.topLeft(), sized.topLeft() + QPointF(2, -1));
    expectNear(box(QStringLiteral("destCall")), QRectF(sized.topLeft() + QPointF(2, -1), sized.bottomRight()));
    drag(box(QStringLiteral("destCall")).center(), QPointF(50, 147));
    EXPECT_NEAR(box(QStringLiteral("destCall")).bottom(), 148 - kBureauMargin, 0.01) << "stops at the margin";
    EXPECT_TRUE(checkCardDesign(d.design(), nullptr));
    EXPECT_TRUE(d.edited());
    EXPECT_TRUE(boxes.asked.empty()) << "dragging never asks";
}

TEST_F(CardDesignDialogTest, ATypedValueTheReaderRefusesIsRefusedWithItsMessageAndTheDesignStays)
{
    CardDesignDialog& d = open();
    d.selectElement(QStringLiteral("destCall"));
    const struct
    {
        const char* field;
        const char* value;
        const char* key;
    } cases[] = {
        {"y", "140", "\"destCall.y\" の値 \"140\""}, // in the bureau's margin
        {"width", "95", "\"destCall.width\" の値 \"95\""}, // past the card's right edge
        {"points", "6", "\"destCall.points\" の値 \"6\""}, // below the legibility floor
        {"height", "0", "\"destCall.height\" の値 \"0\""},
    };
    const CardDesign before = d.design();
    for (const auto& c : cases) {
        boxes.asked.clear();
        type(c.field, QString::fromLatin1(c.value));
        const QStringList warned = boxes.texts(QStringLiteral("WarningBox"));
        ASSERT_EQ(warned.size(), 1) << c.field;
        EXPECT_TRUE(warned.front().contains(QString::fromUtf8(c.key))) << warned.front().toStdString();
        EXPECT_EQ(d.design(), before) << c.field;
        EXPECT_FALSE(d.edited());
    }
    EXPECT_EQ(spin("y")->value(), before.element(QStringLiteral("destCall"))->box.y()) << "the field shows the design";

    // A background image that is not there.
    boxes.asked.clear();
    boxes.fileName(dir.filePath(QStringLiteral("gone.png")));
    EXPECT_FALSE(d.chooseBackground());
    ASSERT_EQ(boxes.texts(QStringLiteral("WarningBox")).size(), 1);
    EXPECT_TRUE(boxes.texts(QStringLiteral("WarningBox")).front().contains(QStringLiteral("\"background\"")));
    EXPECT_EQ(d.design(), before);

    // A good value is taken; unticking every column of the table is refused.
    boxes.asked.clear();
    type("y", QStringLiteral("42.25"));
    EXPECT_EQ(box(QStringLiteral("destCall")).y(), 42.25);
    d.selectElement(QStringLiteral("contacts"));
    const std::vector<DesignColumn> columns = d.design().columns;
    for (const DesignColumn& c : columns) {
        if (auto* b = d.findChild<QCheckBox*>(QStringLiteral("column-") + c.id)) {
            b->setChecked(false);
        }
    }
    EXPECT_EQ(boxes.texts(QStringLiteral("WarningBox")).size(), 1);
    int shown = 0;
    for (const DesignColumn& c : d.design().columns) {
        shown += c.shown ? 1 : 0;
    }
    EXPECT_EQ(shown, 1) << "the last column shown stays";
}

TEST_F(CardDesignDialogTest, AChangedShippedDesignIsSavedUnderANewNameTheReaderReadsBackEqual)
{
    CardDesignDialog& d = open();
    d.selectElement(QStringLiteral("ownCall"));
    type("x", QStringLiteral("10"));
    d.addFreeText();
    d.findChild<QLineEdit*>(QStringLiteral("text"))->setText(QStringLiteral("Hope to see you again"));
    emit d.findChild<QLineEdit*>(QStringLiteral("text"))->editingFinished();
    ASSERT_TRUE(d.edited());
    QImage picture(40, 60, QImage::Format_RGB32);
    picture.fill(Qt::yellow);
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("back.png"))));
    boxes.fileName(dir.filePath(QStringLiteral("back.png")));
    ASSERT_TRUE(d.chooseBackground());

    boxes.fileName(designPath(QStringLiteral("私のカード")));
    boxes.asked.clear();
    ASSERT_TRUE(d.save()) << "saving a shipped design asks for a name";
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].kind, QStringLiteral("Save"));
    EXPECT_EQ(boxes.asked[0].text, QStringLiteral("名前を付けて保存"));
    EXPECT_FALSE(QFile::exists(designPath(QStringLiteral("plain"))));
    CardDesign read;
    QString error;
    ASSERT_TRUE(loadCardDesign(designPath(QStringLiteral("私のカード")), read, &error)) << error.toStdString();
    EXPECT_EQ(read, d.design());
    EXPECT_EQ(read.element(QStringLiteral("text1"))->text, QStringLiteral("Hope to see you again"));
    EXPECT_EQ(read.background, dir.filePath(QStringLiteral("back.png")));
    boxes.asked.clear();
    EXPECT_FALSE(d.edited());
    EXPECT_EQ(d.designBox()->currentData().toString(), QStringLiteral("私のカード"));

    // The operator's own design is saved over without a question.
    d.selectElement(QStringLiteral("ownCall"));
    type("x", QStringLiteral("12"));
    ASSERT_TRUE(d.save());
    EXPECT_TRUE(boxes.asked.empty());
    ASSERT_TRUE(loadCardDesign(designPath(QStringLiteral("私のカード")), read, &error));
    EXPECT_EQ(read, d.design());

    // Another design with changes not saved: Cancel stays, No drops them.
    type("x", QStringLiteral("11"));
    boxes.answer(Answer::Cancel);
    EXPECT_FALSE(d.chooseDesign(QStringLiteral("english")));
    EXPECT_EQ(d.design().id, QStringLiteral("私のカード"));
    EXPECT_EQ(d.designBox()->currentData().toString(), QStringLiteral("私のカード"));
    boxes.answer(Answer::No);
    EXPECT_TRUE(d.chooseDesign(QStringLiteral("english")));
    EXPECT_EQ(d.design(), shippedCardDesign(QStringLiteral("english")));
    ASSERT_TRUE(loadCardDesign(designPath(QStringLiteral("私のカード")), read, &error));
    EXPECT_EQ(read.element(QStringLiteral("ownCall"))->box.x(), 12);
}

TEST_F(CardDesignDialogTest, NoNameReplacesAShippedDesignOrAnExistingFile)
{
    QDir().mkpath(folder());
    QFile mine(designPath(QStringLiteral("mine")));
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write(cardDesignJson(shippedCardDesign(QStringLiteral("preprinted"))));
    mine.close();
    const QByteArray kept = cardDesignJson(shippedCardDesign(QStringLiteral("preprinted")));

    CardDesignDialog& d = open();
    d.selectElement(QStringLiteral("ownCall"));
    type("x", QStringLiteral("9"));
    QTemporaryDir elsewhere;
    const struct
    {
        QString path;
        const char* message;
    } cases[] = {
        {designPath(QStringLiteral("plain")), "付属のデザインの名前です"},
        {designPath(QStringLiteral("English")), "付属のデザインの名前です"},
        {designPath(QStringLiteral("mine")), "という名前のデザインはもうあります"},
        {designPath(QStringLiteral("a:b")), "はデザインの名前 (ファイル名) に使えません"},
        {designPath(QStringLiteral(".hidden")), "はデザインの名前 (ファイル名) に使えません"},
        {designPath(QStringLiteral(" spaced")), "はデザインの名前 (ファイル名) に使えません"},
        {elsewhere.filePath(QStringLiteral("card.json")), "デザインのフォルダに保存してください"},
    };
    for (const auto& c : cases) {
        boxes.asked.clear();
        boxes.fileName(c.path);
        EXPECT_FALSE(d.saveAs()) << c.path.toStdString();
        const QStringList warned = boxes.texts(QStringLiteral("WarningBox"));
        ASSERT_EQ(warned.size(), 1) << c.path.toStdString();
        EXPECT_TRUE(warned.front().contains(QString::fromUtf8(c.message))) << warned.front().toStdString();
    }
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{QStringLiteral("mine.json")});
    ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
    EXPECT_EQ(mine.readAll(), kept);
    EXPECT_FALSE(QFile::exists(elsewhere.filePath(QStringLiteral("card.json"))));
    EXPECT_TRUE(d.edited()) << "the changes are still there to be saved";

    // A shipped design is never deleted.
    boxes.asked.clear();
    EXPECT_FALSE(d.deleteDesign());
    EXPECT_EQ(boxes.texts(QStringLiteral("WarningBox")),
              QStringList{QStringLiteral("付属のデザインは削除できません.")});
}

TEST_F(CardDesignDialogTest, ADesignIsUsedForCardsOnlyWhenTheOperatorSaysAndIsNotDeletedWhileUsed)
{
    CardDesignDialog& d = open();
    d.selectElement(QStringLiteral("ownCall"));
    type("x", QStringLiteral("8"));
    ASSERT_EQ(loadCardSettings(settingsPath()).foreignDesign, QStringLiteral("plain"));

    // Using a changed shipped design saves it under a name first.
    boxes.fileName(designPath(QStringLiteral("abroad")));
    ASSERT_TRUE(d.useFor(false));
    EXPECT_TRUE(QFile::exists(designPath(QStringLiteral("abroad"))));
    CardSettings s = loadCardSettings(settingsPath());
    EXPECT_EQ(s.foreignDesign, QStringLiteral("abroad"));
    EXPECT_EQ(s.domesticDesign, QStringLiteral("plain"));
    EXPECT_EQ(s.nextCardNumber, 12);
    EXPECT_EQ(cardDesignProblem(s, folder()), QString());

    boxes.asked.clear();
    EXPECT_FALSE(d.deleteDesign());
    ASSERT_EQ(boxes.texts(QStringLiteral("WarningBox")).size(), 1);
    EXPECT_TRUE(boxes.texts(QStringLiteral("WarningBox")).front().contains(QStringLiteral("海外カード")));
    EXPECT_TRUE(QFile::exists(designPath(QStringLiteral("abroad"))));

    ASSERT_TRUE(d.chooseDesign(QStringLiteral("english")));
    ASSERT_TRUE(d.useFor(false));
    ASSERT_TRUE(d.chooseDesign(QStringLiteral("abroad")));
    boxes.asked.clear();
    boxes.answer(Answer::No);
    EXPECT_FALSE(d.deleteDesign());
    EXPECT_TRUE(QFile::exists(designPath(QStringLiteral("abroad"))));
    boxes.answer(Answer::Yes);
    EXPECT_TRUE(d.deleteDesign());
    EXPECT_FALSE(QFile::exists(designPath(QStringLiteral("abroad"))));
    EXPECT_EQ(d.design().id, QStringLiteral("plain"));
    EXPECT_EQ(d.designBox()->findData(QStringLiteral("abroad")), -1);
}

TEST_F(CardDesignDialogTest, ThePreviewShowsTheChosenHeldContactElseASample)
{
    app->AddLogPos(QStringLiteral(R"(24.04.28,1208,VK2ABC,59,7.045,SSB,,"Bob","Sydney","",,,0)"), 3);
    app->AddLogPos(QStringLiteral(R"(24.04.28,1300,JH3KVW,599,7.012,CW,,"佐藤 一郎","大阪府","",,,0)"), 5);
    app->SetPrintMax();
    CardDesignDialog& d = open(1);
    ASSERT_EQ(d.contactBox()->count(), 3);
    EXPECT_EQ(d.contactBox()->itemText(0), QStringLiteral("保持している交信: JH3KVW 24.04.28"));
    EXPECT_TRUE(d.contactBox()->itemText(2).contains(QStringLiteral("海外局")));

    // The call is painted in its box: dark pixels where the design puts it, none in the bureau's margin.
    const QImage shot = d.preview()->grab().toImage();
    const auto dark = [&shot, this](const QRectF& mm) {
        const QRect r = QRectF(at(mm.topLeft()), at(mm.bottomRight())).toRect().adjusted(2, 2, -2, -2);
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                n += qGray(shot.pixel(x, y)) < 100 ? 1 : 0;
            }
        }
        return n;
    };
    EXPECT_GT(dark(box(QStringLiteral("destCall"))), 200);
    EXPECT_EQ(dark(QRectF(2, 139, 25, 8)), 0) << "nothing in the bureau's margin";

    app->DeleteLog();
    CardDesignDialog& samples = open(-1);
    EXPECT_EQ(samples.contactBox()->count(), 2);
    EXPECT_GT(dark(box(QStringLiteral("destCall"))), 200);
}

} // namespace
