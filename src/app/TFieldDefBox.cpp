#include "app/TFieldDefBox.h"

#include "app/FieldDefGrid.h"
#include "app/KelboFont.h"
#include "app/UserDialogs.h"
#include "cardlink/CardLogLine.h"
#include "cardlink/TransferWalk.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "convdef/ConvDefFile.h"
#include "convdef/Guess.h"
#include "convert/ConvExpression.h"
#include "convert/ConvertRecord.h"
#include "convert/DateTime.h"
#include "logtable/LogTable.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QToolButton>

namespace {

const char* const kDefFilter = "KELBO 変換定義ファイル(*.def)";

enum class NavGlyph
{
    First,
    Prior,
    Next,
    Last
};

QIcon navigatorIcon(NavGlyph glyph)
{
    QPixmap pm(12, 12);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const bool left = glyph == NavGlyph::First || glyph == NavGlyph::Prior;
    QPainterPath tri;
    if (left) {
        tri.moveTo(9, 1);
        tri.lineTo(3, 6);
        tri.lineTo(9, 11);
    } else {
        tri.moveTo(3, 1);
        tri.lineTo(9, 6);
        tri.lineTo(3, 11);
    }
    tri.closeSubpath();
    p.drawPath(tri);
    if (glyph == NavGlyph::First) {
        p.drawRect(1, 1, 2, 10);
    } else if (glyph == NavGlyph::Last) {
        p.drawRect(9, 1, 2, 10);
    }
    return QIcon(pm);
}

} // namespace

const QStringList& ConvExprVocabulary()
{
    static const QStringList list = [] {
        QStringList offered;
        for (const ConvExpression& e : kConvExpressions) {
            if (e.offered) {
                offered << cp932::toUnicode(e.text);
            }
        }
        return offered;
    }();
    return list;
}

QString ConvExprHint(const QString& expression)
{
    for (const ConvExpression& e : kConvExpressions) {
        if (e.offered && cp932::toUnicode(e.text) == expression) {
            return QString::fromUtf8(e.hint);
        }
    }
    return QString();
}

TFieldDefBox::TFieldDefBox(QWidget* owner, const ConvDefTable& live, LogTable& table, const QString& baseDir)
    : QDialog(owner)
    , m_entries(live)
    , m_table(table)
    , m_baseDir(baseDir)
{
    setWindowTitle(QStringLiteral("フィールド変換定義"));
    // The design's client area and, below it, the line of the card preview.
    setFixedSize(592, 400);
    setFont(kelboFont(17));
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);

    m_model = new FieldDefGridModel(m_entries, this);
    Grid = new QTableView(this);
    Grid->setGeometry(7, 8, 456, 279);
    Grid->setModel(m_model);
    Grid->setItemDelegate(new FieldDefGridDelegate(Grid));
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setShowGrid(true);
    Grid->setWordWrap(false);
    Grid->verticalHeader()->hide();
    // The design's sizes hold whatever the headers would choose for the font.
    Grid->verticalHeader()->setMinimumSectionSize(1);
    Grid->horizontalHeader()->setMinimumSectionSize(1);
    Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Grid->verticalHeader()->setDefaultSectionSize(24);
    Grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Grid->horizontalHeader()->setHighlightSections(false);
    Grid->horizontalHeader()->setFixedHeight(24);
    Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Grid->horizontalHeader()->setStretchLastSection(false);
    const int widths[FieldDefGridModel::kColumns] = {32, 102, 89, 204};
    for (int c = 0; c < FieldDefGridModel::kColumns; ++c) {
        Grid->setColumnWidth(c, widths[c]);
    }

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setGeometry(489, 9, 94, 31);
    OKBtn->setDefault(true);
    LoadBtn = new QPushButton(QStringLiteral("LOAD"), this);
    LoadBtn->setGeometry(489, 65, 94, 31);
    SaveBtn = new QPushButton(QStringLiteral("SAVE"), this);
    SaveBtn->setGeometry(489, 115, 94, 31);
    AutoBtn = new QPushButton(QStringLiteral("推測"), this);
    AutoBtn->setGeometry(489, 164, 94, 31);
    NULLBtn = new QPushButton(QStringLiteral("NULL"), this);
    NULLBtn->setGeometry(488, 280, 94, 31);

    DBNavigator = new QWidget(this);
    DBNavigator->setGeometry(308, 294, 152, 25);
    auto* navLayout = new QHBoxLayout(DBNavigator);
    navLayout->setContentsMargins(0, 0, 0, 0);
    navLayout->setSpacing(0);
    const std::pair<QToolButton**, NavGlyph> navButtons[] = {{&NavFirst, NavGlyph::First},
                                                             {&NavPrior, NavGlyph::Prior},
                                                             {&NavNext, NavGlyph::Next},
                                                             {&NavLast, NavGlyph::Last}};
    for (const auto& [button, glyph] : navButtons) {
        auto* b = new QToolButton(DBNavigator);
        b->setIcon(navigatorIcon(glyph));
        b->setFixedSize(38, 25);
        b->setFocusPolicy(Qt::TabFocus);
        navLayout->addWidget(b);
        *button = b;
        connect(b, &QToolButton::clicked, this, [this, b] { moveRecord(b); });
    }

    Label1 = new QLabel(QStringLiteral("変換式"), this);
    Label1->setGeometry(10, 334, 51, 17);
    FieldEdit = new QComboBox(this);
    FieldEdit->setGeometry(77, 331, 386, 25);
    FieldEdit->setEditable(true);
    FieldEdit->setInsertPolicy(QComboBox::NoInsert);
    // Whatever the user types is the expression: no completion may change it behind their back.
    FieldEdit->setCompleter(nullptr);
    FieldEdit->setMaxVisibleItems(16);
    FieldEdit->addItems(ConvExprVocabulary());
    for (int i = 0; i < FieldEdit->count(); ++i) {
        FieldEdit->setItemData(i, ConvExprHint(FieldEdit->itemText(i)), Qt::ToolTipRole);
    }
    FieldEdit->setCurrentIndex(-1);

    CancelBtn = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    CancelBtn->setGeometry(489, 326, 94, 31);

    PreviewLabel = new QLabel(QStringLiteral("カード"), this);
    PreviewLabel->setGeometry(10, 370, 61, 17);
    Preview = new QLineEdit(this);
    Preview->setGeometry(77, 367, 506, 25);
    Preview->setReadOnly(true);
    Preview->setFocusPolicy(Qt::ClickFocus);

    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, Grid);
    setTabOrder(Grid, FieldEdit);
    setTabOrder(FieldEdit, AutoBtn);
    setTabOrder(AutoBtn, LoadBtn);
    setTabOrder(LoadBtn, SaveBtn);
    setTabOrder(SaveBtn, NULLBtn);
    setTabOrder(NULLBtn, NavFirst);
    setTabOrder(NavFirst, NavPrior);
    setTabOrder(NavPrior, NavNext);
    setTabOrder(NavNext, NavLast);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(LoadBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { LoadBtnClick(); }); });
    connect(SaveBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { SaveBtnClick(); }); });
    connect(AutoBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { AutoBtnClick(); }); });
    connect(NULLBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { NULLBtnClick(); }); });
    connect(Grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { guarded(this, [this] { GridClick(); }); });
    connect(FieldEdit, &QComboBox::editTextChanged, this,
            [this](const QString& text) { guarded(this, [this, &text] { FieldEditChange(text); }); });

    refreshGrid();
    SelectRow(1);
    AutoBtn->setEnabled(m_table.IsOpen());
    updateNavigator();
    OKBtn->setFocus();

    if (QScreen* s = QGuiApplication::primaryScreen()) {
        move(s->availableGeometry().center() - rect().center());
    }
}

TFieldDefBox::~TFieldDefBox() = default;

bool TFieldDefBox::Execute()
{
    return exec() == QDialog::Accepted;
}

QString TFieldDefBox::CellText(int col, int row) const
{
    return m_model->cellText(col, row);
}

int TFieldDefBox::SelectedRow() const
{
    const QModelIndex current = Grid->selectionModel()->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void TFieldDefBox::SelectRow(int row)
{
    if (row < 1 || row > kConvDefCount) {
        return;
    }
    Grid->selectionModel()->setCurrentIndex(m_model->index(row - 1, 1),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    GridClick();
}

void TFieldDefBox::GridClick()
{
    const int row = SelectedRow();
    if (row < 1) {
        return;
    }
    // Showing an entry must not write it back: text that does not decode would come back altered.
    const QSignalBlocker block(FieldEdit);
    FieldEdit->setEditText(cp932::toUnicode(m_entries[row - 1]));
}

void TFieldDefBox::FieldEditChange(const QString& text)
{
    const int row = SelectedRow();
    if (row < 1) {
        return;
    }
    m_entries[row - 1] = cp932::fromUnicode(text);
    Grid->viewport()->update();
    refreshPreview();
}

void TFieldDefBox::SetPreviewOptions(bool utcToJst, bool allSend)
{
    m_previewUtc = utcToJst;
    m_previewAllSend = allSend;
    refreshPreview();
}

void TFieldDefBox::refreshPreview()
{
    QString line;
    bool passed = false;
    if (m_table.IsOpen() && m_table.RecordCount() > 0) {
        try {
            // The conversion a transfer makes of this record.
            std::vector<std::string> texts;
            m_table.FieldTexts(texts);
            const std::vector<std::string_view> views(texts.begin(), texts.end());
            CardRecord record{};
            passed = ConvertForTransfer(views.data(), static_cast<int>(views.size()), ConvDefPlan(m_entries),
                                        m_previewUtc, m_previewAllSend, m_table.sendMarkRule(), record);
            line = cp932::toUnicode(BuildCardLogLine(record));
        } catch (const KelboError&) {
            line.clear();
        }
    }
    Preview->setText(line);
    Preview->setCursorPosition(0);
    QPalette pal = Preview->palette();
    pal.setColor(QPalette::Text, passed ? palette().color(QPalette::Text) : QColor(Qt::gray));
    Preview->setPalette(pal);
    Preview->setToolTip(line.isEmpty() || passed
                            ? QString()
                            : QStringLiteral("コールサインがないか送信済みのため, この記録はCARDOに渡されません"));
}

void TFieldDefBox::NULLBtnClick()
{
    const int row = SelectedRow();
    if (row < 1) {
        return;
    }
    m_entries[row - 1] = "NULL";
    refreshGrid();
    GridClick();
}

void TFieldDefBox::LoadBtnClick()
{
    FileDialogSpec request;
    request.title = QStringLiteral("変換定義シートを選択");
    request.filter = QString::fromUtf8(kDefFilter);
    request.defaultExt = QStringLiteral("def");
    request.startDir = m_baseDir;
    const QString path = dialogs().OpenFileName(this, request);
    // A file that cannot be opened loads nothing, like a cancelled dialog.
    if (!path.isEmpty()) {
        LoadConvDefFile(path.toStdString(), m_entries);
    }
    refreshGrid();
    GridClick();
}

void TFieldDefBox::SaveBtnClick()
{
    FileDialogSpec request;
    request.title = QStringLiteral("変換定義シートを保存");
    request.filter = QString::fromUtf8(kDefFilter);
    request.fileName = QStringLiteral("ConvDef.def");
    request.defaultExt = QStringLiteral("def");
    request.startDir = m_baseDir;
    request.confirmOverwrite = false; // SAVE replaces a file of the same name without asking
    const QString path = dialogs().SaveFileName(this, request);
    if (path.isEmpty()) {
        return;
    }
    // A definition the user believes saved must be on disk: say so when it is not.
    if (!SaveConvDefFile(path.toStdString(), m_entries)) {
        throw KelboError(path.toStdString() + " に書き込めません");
    }
}

void TFieldDefBox::AutoBtnClick()
{
    if (!m_table.IsOpen()) {
        return;
    }
    // Every press starts from nothing: all 64 entries are replaced.
    m_entries = GuessConvDef(m_table);
    refreshGrid();
    GridClick();
}

void TFieldDefBox::DBNavigatorClick()
{
    refreshGrid();
    updateNavigator();
}

void TFieldDefBox::moveRecord(QToolButton* button)
{
    guarded(this, [this, button] {
        if (!m_table.IsOpen()) {
            return;
        }
        if (button == NavFirst) {
            m_table.MoveFirst();
        } else if (button == NavPrior) {
            m_table.MoveBy(-1);
        } else if (button == NavNext) {
            m_table.MoveBy(1);
        } else if (m_table.RecordCount() > 0) {
            m_table.MoveTo(m_table.RecordCount() - 1);
        }
        DBNavigatorClick();
    });
}

void TFieldDefBox::refreshGrid()
{
    m_model->reload(m_table);
    Grid->viewport()->update();
    refreshPreview();
}

void TFieldDefBox::updateNavigator()
{
    const bool open = m_table.IsOpen();
    const long count = open ? m_table.RecordCount() : 0;
    const long pos = open ? m_table.RecNo() : 0;
    NavFirst->setEnabled(open && pos > 0);
    NavPrior->setEnabled(open && pos > 0);
    NavNext->setEnabled(open && pos < count - 1);
    NavLast->setEnabled(open && pos < count - 1);
}
