#include "app/TMainWnd.h"
#include "app/WindowPlace.h"

#include "app/CWaitCursor.h"
#include "app/KelboFont.h"
#include "app/LogTableModel.h"
#include "app/TFieldDefBox.h"
#include "app/UnsentCount.h"
#include "app/UserDialogs.h"
#include "common/Cp932.h"
#include "convdef/Settings.h"
#include "convdef/SettingsLocation.h"
#include "logtable/LogTable.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

TMainWnd* MainWnd = nullptr;

namespace {

constexpr int kPanelHeight = 81;
// The window's outer size is 640 x 400; this is what a usual frame leaves inside it.
constexpr int kClientWidth = 632;
constexpr int kClientHeight = 366;

template <typename W> W* place(W* w, int left, int top, int width, int height)
{
    w->setGeometry(left, top, width, height);
    return w;
}

/** Labels size themselves to their caption, as the design's labels did with their own font. A substitute font
 * that draws the caption wider than the design width is narrowed to it, so the caption ends before the control
 * beside it; one that draws it taller gets the height it needs. */
void fitLabel(QLabel* label)
{
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const int designWidth = label->width();
    const int textWidth = QFontMetrics(label->font()).horizontalAdvance(label->text());
    if (textWidth > designWidth) {
        QFont narrow = label->font();
        narrow.setStretch(std::max(50, designWidth * 100 / textWidth));
        label->setFont(narrow);
    }
    label->resize(designWidth, std::max(label->height(), label->sizeHint().height()));
}

/** The top panel: its controls keep their design places at the design width; a wider window gives the extra
 * width to the folder box and moves what stands right of it along, a narrower one takes it from the folder box
 * down to kMinDirWidth (the window's minimum size stops there, so every button stays in view). */
class TopPanel : public QFrame
{
public:
    using QFrame::QFrame;

    enum class Anchor
    {
        Left,
        Stretch,
        Right
    };
    /** Records the controls' design places (call once they are placed). */
    void keep(QWidget* w, Anchor anchor) { m_items.push_back({w, w->geometry(), anchor}); }
    // Narrower, and 変換定義 would run into the send-mark box.
    static constexpr int kMinDirWidth = 127;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QFrame::resizeEvent(event);
        const int extra = std::max(width() - kClientWidth, kMinDirWidth - kDesignDirWidth);
        for (const Item& item : m_items) {
            QRect r = item.design;
            if (item.anchor == Anchor::Stretch) {
                r.setWidth(r.width() + extra);
            } else if (item.anchor == Anchor::Right) {
                r.translate(extra, 0);
            }
            item.widget->setGeometry(r);
        }
    }

private:
    static constexpr int kDesignDirWidth = 185;
    struct Item
    {
        QWidget* widget;
        QRect design;
        Anchor anchor;
    };
    std::vector<Item> m_items;
};

/** Shows a text from its beginning, as an edit does when the program fills it. */
void setEditText(QLineEdit* edit, const QString& text)
{
    edit->setText(text);
    edit->setCursorPosition(0);
}

} // namespace

TMainWnd::TMainWnd(const QStringList& arguments, std::unique_ptr<LogTable> table, QWidget* parent)
    : QWidget(parent)
    , m_link(std::make_unique<CardLink>())
    , m_table(table ? std::move(table) : createLogTable())
{
    setWindowTitle(QStringLiteral("KELBO Ver 1.03"));
    const QFont f = kelboFont(15);
    setFont(f);
    resize(kClientWidth, kClientHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        resize(kelboClientSize(screen->availableGeometry()));
    }

    const KelboSettings design = DefaultSettings();
    auto* panel = new TopPanel(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setFixedHeight(kPanelHeight);
    Label1 = place(new QLabel(QStringLiteral("フォルダ"), panel), 7, 12, 52, 15);
    EditDir = place(new QLineEdit(DirText(design), panel), 65, 8, 185, 23);
    Label2 = place(new QLabel(QStringLiteral("ログファイル"), panel), 261, 12, 77, 15);
    EditLog = place(new QLineEdit(cp932::toUnicode(design.Name), panel), 343, 8, 112, 23);
    RefBtn = place(new QPushButton(QStringLiteral("参照"), panel), 467, 8, 75, 25);
    ConBtn = place(new QPushButton(QStringLiteral("接続"), panel), 549, 8, 75, 25);
    AllSend = place(new QCheckBox(QStringLiteral("すべて引き渡す"), panel), 11, 53, 142, 17);
    AllSend->setChecked(design.AllSend);
    CBUTC = place(new QCheckBox(QStringLiteral("UTC→JST"), panel), 158, 52, 97, 17);
    CBUTC->setChecked(design.UTC);
    LSendMark = place(new QLabel(QStringLiteral("送信マーク"), panel), 264, 53, 70, 15);
    SendMark = place(new QLineEdit(cp932::toUnicode(design.SendMark), panel), 343, 50, 58, 23);
    FieldSetBtn = place(new QPushButton(QStringLiteral("変換定義"), panel), 467, 48, 75, 25);
    CARDOBtn = place(new QPushButton(QStringLiteral("CARDO"), panel), 549, 48, 75, 25);
    CARDOBtn->setEnabled(false);
    for (QLabel* label : {Label1, Label2, LSendMark}) {
        fitLabel(label);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, AllSend, CBUTC, LSendMark, SendMark}) {
        panel->keep(w, TopPanel::Anchor::Left);
    }
    panel->keep(EditDir, TopPanel::Anchor::Stretch);
    for (QWidget* w : std::initializer_list<QWidget*>{Label2, EditLog, RefBtn, ConBtn, FieldSetBtn, CARDOBtn}) {
        panel->keep(w, TopPanel::Anchor::Right);
    }
    // Enter in the folder or file box connects.
    connect(EditDir, &QLineEdit::returnPressed, ConBtn, &QPushButton::click);
    connect(EditLog, &QLineEdit::returnPressed, ConBtn, &QPushButton::click);

    DBGrid = new QTableView(this);
    DBGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    DBGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    // The arrow keys move between cells; Tab goes on to the next control.
    DBGrid->setTabKeyNavigation(false);
    DBGrid->setShowGrid(true);
    DBGrid->setWordWrap(false);
    DBGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGrid->horizontalHeader()->setHighlightSections(false);
    DBGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    DBGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid->verticalHeader()->setMinimumSectionSize(1);
    DBGrid->verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 2);
    m_gridModel = new LogTableModel(*m_table, this);
    // A note that grows while the grid or a walk reads records is shown once the running event is over.
    m_table->setNoteListener([this] {
        QMetaObject::invokeMethod(
            this, [this] { ShowLaterReadNote(); }, Qt::QueuedConnection);
    });
    DBGrid->setModel(m_gridModel);
    // The grid and the table share one current record: each follows the other.
    connect(m_gridModel, &LogTableModel::currentRecordChanged, this, [this](int row) {
        if (row >= 0 && row != DBGrid->currentIndex().row()) {
            const int column = std::max(0, DBGrid->currentIndex().column());
            const QModelIndex index = m_gridModel->index(row, column);
            DBGrid->setCurrentIndex(index);
            DBGrid->scrollTo(index);
        }
    });
    connect(DBGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                guarded(this, [this, &current] {
                    if (current.isValid() && m_table->IsOpen() && m_table->GridAttached()
                        && current.row() != m_table->RecNo()) {
                        m_table->MoveTo(current.row());
                    }
                });
            });

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setContentsMargins(0, 0, 6, 2);
    StatusCounts = new QLabel(StatusBar);
    StatusBar->addPermanentWidget(StatusCounts);
    StatusCounts->setToolTip(QStringLiteral("レコード数, 送信マークのない記録の数, この起動で書いた送信マークの数"));
    AdifExportBtn = new QPushButton(QStringLiteral("ADIF書き出し..."), StatusBar);
    AdifExportBtn->setToolTip(
        QStringLiteral("引き渡す記録 (「すべて引き渡す」ならすべて) を ADIF ファイルに書き出します"));
    AdifExportBtn->setEnabled(false);
    StatusBar->addPermanentWidget(AdifExportBtn);
    connect(AdifExportBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { AdifExportBtnClick(); }); });
    UndoBtn = new QPushButton(QStringLiteral("マークを戻す"), StatusBar);
    UndoBtn->setToolTip(QStringLiteral("直前に書いた送信マークを取り消します (Ctrl+Z)"));
    UndoBtn->setEnabled(false);
    StatusBar->addPermanentWidget(UndoBtn);
    connect(UndoBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { UndoBtnClick(); }); });
    auto* undoKey = new QShortcut(QKeySequence::Undo, this);
    connect(undoKey, &QShortcut::activated, UndoBtn, &QPushButton::click);
    m_unsentCount = new UnsentCount(this);
    connect(m_unsentCount, &UnsentCount::updated, this, &TMainWnd::ShowCounts);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(panel);
    layout->addWidget(DBGrid, 1);
    layout->addWidget(StatusBar);
    // Every button stays in view: the folder box is the only control that gives way.
    setMinimumSize(kClientWidth - (185 - TopPanel::kMinDirWidth),
                   kPanelHeight + 4 * DBGrid->verticalHeader()->defaultSectionSize()
                       + DBGrid->horizontalHeader()->sizeHint().height() + StatusBar->sizeHint().height());

    setTabOrder(ConBtn, EditDir);
    setTabOrder(EditDir, EditLog);
    setTabOrder(EditLog, AllSend);
    setTabOrder(AllSend, CBUTC);
    setTabOrder(CBUTC, SendMark);
    setTabOrder(SendMark, CARDOBtn);
    setTabOrder(CARDOBtn, FieldSetBtn);
    setTabOrder(FieldSetBtn, RefBtn);
    setTabOrder(RefBtn, DBGrid);
    ConBtn->setFocus();

    Timer = new QTimer(this);
    Timer->setInterval(2000);

    connect(ConBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { ConBtnClick(); }); });
    connect(RefBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { RefBtnClick(); }); });
    connect(FieldSetBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { FieldSetBtnClick(); }); });
    connect(CARDOBtn, &QPushButton::clicked, this, [this] { guarded(this, [this] { CARDOBtnClick(); }); });
    connect(Timer, &QTimer::timeout, this, [this] { guarded(this, [this] { TimerTimer(); }); });

    m_convDef.fill(std::string());
    PrintPhase = 0;
    BaseDir = settingsBaseDir(arguments);
    if (!BaseDir.isEmpty()) {
        // The user's settings folder is made on the first start; a failure shows when the settings are written.
        QDir().mkpath(BaseDir);
    }
    LoadSettingsIntoControls();
    SendFieldIndex = FindSendField();
    UpdateControls();
    RefreshStatus();

    if (QScreen* s = QGuiApplication::primaryScreen()) {
        move(s->availableGeometry().center() - rect().center());
    }
    // Published only once built: a failed construction leaves no dangling window behind.
    MainWnd = this;
}

TMainWnd::~TMainWnd()
{
    m_unsentCount->stop();
    // The grid's model listens to the table: it goes before the table does.
    DBGrid->setModel(nullptr);
    delete m_gridModel;
    if (MainWnd == this) {
        MainWnd = nullptr;
    }
}

QString TMainWnd::settingsPath() const
{
    return QString::fromStdString(SettingsPath(BaseDir.toStdString()));
}

KelboSettings TMainWnd::settingsFromControls() const
{
    KelboSettings s = m_loaded;
    if (EditDir->text() != DirText(m_loaded)) {
        SetDirText(s, EditDir->text());
    }
    s.Name = TextAsStored(EditLog->text(), m_loaded.Name);
    s.AllSend = AllSend->isChecked();
    s.UTC = CBUTC->isChecked();
    // While a log with its own mark is open, the box shows that mark; the settings keep the user's.
    s.SendMark = m_tableSendMark ? TextAsStored(m_ownSendMark, m_loaded.SendMark) : SendMarkBytes();
    s.Fields = m_convDef;
    s.FieldNames = m_defNames;
    return s;
}

std::string TMainWnd::SendMarkBytes() const
{
    return TextAsStored(SendMark->text(), m_loaded.SendMark);
}

void TMainWnd::LoadSettingsIntoControls(const std::string& from)
{
    // The design values are the defaults of every key.
    KelboSettings s = DefaultSettings();
    const std::string path = from.empty() ? SettingsPath(BaseDir.toStdString()) : from;
    if (from.empty()) {
        m_hadSettingsFile = QFileInfo::exists(QString::fromStdString(path));
    }
    if (!LoadSettings(path, s)) {
        dialogs().WarningBox(this,
                             QString::fromStdString(path) + QStringLiteral(" を読めません. 既定の設定で始めます"));
    }
    m_loaded = s;
    setEditText(EditDir, DirText(s));
    setEditText(EditLog, cp932::toUnicode(s.Name));
    AllSend->setChecked(s.AllSend);
    CBUTC->setChecked(s.UTC);
    setEditText(SendMark, cp932::toUnicode(s.SendMark));
    m_convDef = s.Fields;
    m_defNames = s.FieldNames;
}

void TMainWnd::SaveSettingsFromControls()
{
    SaveSettings(SettingsPath(BaseDir.toStdString()), settingsFromControls());
}

int TMainWnd::FindSendField() const
{
    for (int i = 0; i < kConvDefCount; ++i) {
        if (m_convDef[static_cast<std::size_t>(i)] == "SEND") {
            return i;
        }
    }
    return -1;
}

void TMainWnd::UpdateControls()
{
    CARDOBtn->setEnabled(m_table->IsOpen());
    AdifExportBtn->setEnabled(m_table->IsOpen());
    SendMark->setEnabled(SendFieldIndex >= 0);
    // A log format with its own mark (ADIF writes "Y") shows it in place of the user's, which comes back with the
    // next table.
    const std::string tableMark = m_table->IsOpen() ? m_table->sendMarkRule().mark : std::string();
    if (!tableMark.empty()) {
        if (!m_tableSendMark) {
            m_ownSendMark = SendMark->text();
            m_tableSendMark = true;
        }
        setEditText(SendMark, cp932::toUnicode(tableMark));
        SendMark->setReadOnly(true);
    } else if (m_tableSendMark) {
        m_tableSendMark = false;
        setEditText(SendMark, m_ownSendMark);
        SendMark->setReadOnly(false);
    }
}

void TMainWnd::ConBtnClick()
{
    m_undo.forget();
    m_undoPositions.clear();
    // What the status line said was about the table shown until now.
    StatusBar->clearMessage();
    try {
        m_table->CloseTable();
        // Folder and name go to the engine exactly as typed.
        m_table->OpenTable(EditDir->text().toStdString(), EditLog->text().toStdString());
    } catch (...) {
        UpdateControls();
        RefreshStatus(true);
        throw;
    }
    m_connectedDir = EditDir->text();
    m_connectedLog = EditLog->text();
    BindDefinitionToTable();
    UpdateControls();
    RefreshStatus(true);
    // A table that opened with less than the file holds says so once.
    const std::string note = m_table->ReadNote();
    m_noteShown = note;
    if (!note.empty()) {
        dialogs().WarningBox(this, QString::fromStdString(note));
    }
}

void TMainWnd::ShowLaterReadNote()
{
    const std::string note = m_table->IsOpen() ? m_table->ReadNote() : std::string();
    if (note.size() <= m_noteShown.size() || note.compare(0, m_noteShown.size(), m_noteShown) != 0) {
        return;
    }
    std::string added = note.substr(m_noteShown.size());
    m_noteShown = note;
    if (!added.empty() && added.front() == ' ') {
        added.erase(0, 1);
    }
    dialogs().WarningBox(this, QString::fromStdString(added));
}

void TMainWnd::RefreshStatus(bool recount)
{
    m_gridModel->setSendField(SendFieldIndex);
    UndoBtn->setEnabled(m_undo.available(*m_table));
    // The unsent records are counted in steps between events: the first screen shows at once on any table.
    if (recount || m_countedField != SendFieldIndex) {
        m_countedField = SendFieldIndex;
        m_unsentCount->start(*m_table, SendFieldIndex);
    }
    ShowCounts();
}

void TMainWnd::ShowCounts()
{
    if (!m_table->IsOpen()) {
        StatusCounts->setText(QStringLiteral("未接続"));
        return;
    }
    QString text = QStringLiteral("全%1件").arg(m_table->RecordCount());
    if (m_unsentCount->failed()) {
        text += QStringLiteral(" 未送信?件");
    } else if (m_unsentCount->done()) {
        text += QStringLiteral(" 未送信%1件").arg(m_unsentCount->unsent());
    } else if (m_unsentCount->active()) {
        const long percent
            = m_unsentCount->records() > 0 ? m_unsentCount->counted() * 100 / m_unsentCount->records() : 0;
        text += QStringLiteral(" 未送信 集計中 %1%").arg(percent);
    }
    text += QStringLiteral(" 今回マーク%1件").arg(m_marksThisSession);
    StatusCounts->setText(text);
}

void TMainWnd::SendMarksWritten(const std::vector<SendMarkUndo::Mark>& marks)
{
    m_undo.remember(*m_table, SendFieldIndex, marks);
    std::vector<long> positions;
    for (const SendMarkUndo::Mark& m : marks) {
        positions.push_back(m.position);
    }
    m_undoPositions = positions;
    m_marksThisSession += static_cast<long>(marks.size());
    // Only the records just marked are read again.
    m_unsentCount->recheck(positions);
    StatusBar->showMessage(QStringLiteral("%1件の送信マークを書きました").arg(marks.size()));
    RefreshStatus();
    // The marks just written are in view.
    if (SendFieldIndex >= 0 && SendFieldIndex < m_gridModel->columnCount() && !marks.empty()) {
        DBGrid->scrollTo(m_gridModel->index(static_cast<int>(marks.front().position), SendFieldIndex));
    }
}

void TMainWnd::UndoBtnClick()
{
    if (!m_undo.available(*m_table)) {
        RefreshStatus();
        return;
    }
    const QString question = QStringLiteral("直前に書いた %1 件の送信マークを取り消して, 元の内容に戻しますか？");
    if (dialogs().YesNoBox(this, question.arg(m_undo.count())) != Answer::Yes) {
        return;
    }
    SendMarkUndo::Result result;
    try {
        CWaitCursor wait;
        result = m_undo.undo(*m_table);
    } catch (...) {
        m_unsentCount->recheck(m_undoPositions);
        RefreshStatus();
        throw;
    }
    m_unsentCount->recheck(m_undoPositions);
    if (!m_undo.available(*m_table)) {
        m_undoPositions.clear();
    }
    m_marksThisSession -= result.restored;
    StatusBar->showMessage(QStringLiteral("%1件の送信マークを取り消しました").arg(result.restored));
    RefreshStatus();
    if (result.skipped > 0) {
        dialogs().WarningBox(
            this,
            QStringLiteral("送信マークの後で記録が変更されたため, %1 件は元に戻しませんでした.").arg(result.skipped));
    }
}

void TMainWnd::RefBtnClick()
{
    FileDialogSpec request;
    request.title = QStringLiteral("データベースファイルを選択");
    request.filter = QStringLiteral("BDEデータベースファイル (*.db *.dbf *.txt *.csv *.adi *.adif)");
    request.defaultExt = QStringLiteral("db");
    // The dialog opens in the folder typed, when there is one, else in the home folder; after a start on the sample,
    // the first one opens in the home folder, where the operator's own logs are.
    if (!m_browseFromHome && !EditDir->text().isEmpty() && QFileInfo(EditDir->text()).isDir()) {
        request.startDir = EditDir->text();
    } else {
        request.startDir = QDir::homePath();
    }
    m_browseFromHome = false;
    const QString path = dialogs().OpenFileName(this, request);
    if (path.isEmpty()) {
        return;
    }
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    setEditText(EditDir, path.left(slash + 1));
    setEditText(EditLog, path.mid(slash + 1));
}

void TMainWnd::FieldSetBtnClick()
{
    {
        TFieldDefBox box(this, m_convDef, *m_table, BaseDir);
        box.SetPreviewOptions(CBUTC->isChecked(), AllSend->isChecked());
        if (box.Execute()) {
            m_convDef = box.Entries();
            DefinitionEdited();
        }
    }
    SendFieldIndex = FindSendField();
    UpdateControls();
    RefreshStatus();
}

bool TMainWnd::FormCloseQuery()
{
    // The settings are written first, every time. A failure is shown and the close goes on: a folder that
    // cannot be written must not keep the user from leaving the program.
    guarded(this, [this] { SaveSettingsFromControls(); });
    SaveWindowState();
    if (!m_table->IsOpen()) {
        return true;
    }
    bool allowed = true;
    guarded(this, [this, &allowed] { allowed = CloseSendMarks(); });
    return allowed;
}

void TMainWnd::closeEvent(QCloseEvent* event)
{
    if (m_closeAllowed) {
        // This close was already allowed (the application asks its windows again when it quits): no second question.
        event->accept();
        return;
    }
    if (m_inClose) {
        // A close requested while the close's own question is open is that same close.
        event->ignore();
        return;
    }
    m_inClose = true;
    const bool allowed = FormCloseQuery();
    m_inClose = false;
    m_closeAllowed = allowed;
    if (allowed) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TMainWnd::showEvent(QShowEvent* event)
{
    // A window shown again closes with its questions again.
    m_closeAllowed = false;
    QWidget::showEvent(event);
}
