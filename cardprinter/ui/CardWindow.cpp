#include "CardWindow.h"

#include "CardDesignDialog.h"
#include "CardSettingsDialog.h"
#include "CardoApplication.h"
#include "LabelSheetLayout.h"
#include "PrintDialogs.h"
#include "app/UserDialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

CardWindow::CardWindow(CardoApplication& app)
    : m_app(app)
{
    setWindowTitle(QStringLiteral("KELBO カード印刷"));
    resize(1200, 560);

    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(app.model());
    m_proxy->setSortRole(HeldLinesModel::SortRole);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);

    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(QStringLiteral("コールサインや名前で絞り込み"));
    m_filter->setClearButtonEnabled(true);
    auto* all = new QPushButton(QStringLiteral("すべて選択"), this);
    auto* none = new QPushButton(QStringLiteral("選択解除"), this);
    auto* bureau = new QPushButton(QStringLiteral("ビューロー順"), this);
    bureau->setToolTip(
        app.countryNote().isEmpty() ? QStringLiteral(
            "国内局はエリア 1〜9, 0, プリフィックス, サフィックスの順, 海外局は国 (DXCC エンティティ) "
            "ごと, アメリカはエリアごとに並べます. マネージャー経由のカードはマネージャーの位置に入ります")
                                    : app.countryNote());
    auto* settings = new QPushButton(QStringLiteral("設定..."), this);
    auto* designs = new QPushButton(QStringLiteral("デザイン..."), this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("絞り込み:"), this));
    top->addWidget(m_filter, 1);
    top->addWidget(all);
    top->addWidget(none);
    top->addWidget(bureau);
    top->addSpacing(12);
    top->addWidget(settings);

    m_list = new QTableView(this);
    m_list->setModel(m_proxy);
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(-1, Qt::AscendingOrder); // the held order until the operator sorts
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setAlternatingRowColors(true);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    const struct
    {
        int column;
        int width;
    } widths[] = {{HeldLinesModel::State, 170}, {HeldLinesModel::Bundle, 215}, {HeldLinesModel::Date, 84},
                  {HeldLinesModel::Time, 70},   {HeldLinesModel::Call, 92},    {HeldLinesModel::Rst, 40},
                  {HeldLinesModel::Freq, 64},   {HeldLinesModel::Mode, 48},    {HeldLinesModel::Power, 44},
                  {HeldLinesModel::Name, 100},  {HeldLinesModel::Qth, 100},    {HeldLinesModel::Qsl, 160},
                  {HeldLinesModel::Marks, 66}};
    for (const auto& w : widths) {
        m_list->setColumnWidth(w.column, w.width);
    }
    // The QSL text takes what room is left; the marks stay in view at the right.
    m_list->horizontalHeader()->setSectionResizeMode(HeldLinesModel::Qsl, QHeaderView::Stretch);

    m_counts = new QLabel(this);
    m_status = new QLabel(this);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_print = new QPushButton(QStringLiteral("印刷..."), this);
    m_print->setDefault(true);
    // Cards, or labels to stick on cards: the sheet and, on a partly used one, where the first label goes.
    m_media = new QComboBox(this);
    m_media->addItems({QStringLiteral("はがき"), QStringLiteral("ラベル")});
    m_media->setToolTip(QStringLiteral("はがきに印刷するか, ラベル用紙に印刷してカードに貼るか"));
    m_sheet = new QComboBox(this);
    for (const LabelSheet& preset : labelSheetPresets()) {
        m_sheet->addItem(preset.caption(), preset.key);
    }
    m_sheet->addItem(QString(), QStringLiteral("Custom"));
    m_sheet->setToolTip(QStringLiteral("ラベル用紙. カスタムを選ぶと寸法を入れられます"));
    m_startCaption = new QLabel(QStringLiteral("開始位置"), this);
    m_start = new QSpinBox(this);
    m_start->setToolTip(
        QStringLiteral("使いかけの用紙で最初に印刷するラベルの位置 (左上から横へ 1, 2, 3 ... と数えます)"));
    // A long sheet name shrinks in its box (the list shows it whole) rather than widening the window past the room
    // it is placed in; a long status line is cut rather than widening it.
    m_sheet->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_sheet->setMinimumContentsLength(10);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* state = new QHBoxLayout;
    state->addWidget(m_counts);
    state->addSpacing(16);
    state->addWidget(m_status, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_media);
    bottom->addWidget(m_sheet, 1);
    bottom->addWidget(m_startCaption);
    bottom->addWidget(m_start);
    bottom->addStretch();
    bottom->addWidget(designs);
    bottom->addWidget(m_print);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addLayout(state);
    layout->addLayout(bottom);

    connect(m_filter, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);
    connect(all, &QPushButton::clicked, this, &CardWindow::chooseAll);
    connect(none, &QPushButton::clicked, this, &CardWindow::chooseNone);
    connect(bureau, &QPushButton::clicked, this, &CardWindow::sortForBureau);
    connect(settings, &QPushButton::clicked, this, &CardWindow::editSettings);
    connect(designs, &QPushButton::clicked, this, &CardWindow::editDesigns);
    connect(m_print, &QPushButton::clicked, this, &CardWindow::printChosen);
    connect(m_media, &QComboBox::currentIndexChanged, this, [this] { labelChoiceMade(false); });
    connect(m_sheet, &QComboBox::activated, this,
            [this](int index) { labelChoiceMade(m_sheet->itemData(index).toString() == QLatin1String("Custom")); });
    connect(m_start, &QSpinBox::valueChanged, this, [this] { labelChoiceMade(false); });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CardWindow::updateCounts);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &CardWindow::updateCounts);
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, &CardWindow::updateCounts);
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, &CardWindow::updateCounts);
    connect(&app, &CardoApplication::changed, this, &CardWindow::updateCounts);
    connect(&app, &CardoApplication::showRequested, this, &QWidget::setVisible);
    connect(&app, &CardoApplication::foregroundRequested, this, [this] {
        show();
        raise();
        activateWindow();
    });
    connect(&app, &CardoApplication::linesArrived, this, &CardWindow::linesArrived);
    connect(&app, &CardoApplication::status, this, &CardWindow::setStatus);
    connect(&app, &CardoApplication::jobEnded, this, &CardWindow::jobEnded);
    updateCounts();
    showLabelChoice();
    // Without the country file the bureau order falls back to prefixes: the operator is told once.
    m_status->setText(app.countryNote());
}

QList<int> CardWindow::chosenRows() const
{
    QModelIndexList chosen = m_list->selectionModel()->selectedRows();
    std::sort(chosen.begin(), chosen.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<int> rows;
    for (const QModelIndex& i : chosen) {
        rows << m_proxy->mapToSource(i).row();
    }
    return rows;
}

void CardWindow::chooseAll()
{
    m_list->selectAll();
}

void CardWindow::chooseNone()
{
    m_list->clearSelection();
}

void CardWindow::sortForBureau()
{
    m_list->sortByColumn(HeldLinesModel::Call, Qt::AscendingOrder);
}

void CardWindow::linesArrived()
{
    m_list->clearSelection();
    if (m_app.settings().bureauOrder) {
        sortForBureau();
    }
    updateCounts();
}

void CardWindow::setStatus(const QString& text)
{
    m_status->setText(text);
}

void CardWindow::updateCounts()
{
    const int chosen = m_list->selectionModel()->selectedRows().size();
    QString text = QStringLiteral("保持 %1 件 / 選択 %2 件 / 印刷済 %3 件")
                       .arg(m_app.logCount())
                       .arg(chosen)
                       .arg(m_app.printedCount());
    if (m_app.jobPending()) {
        const auto pending
            = std::count_if(m_app.lines().begin(), m_app.lines().end(), [](const HeldLine& l) { return l.pending; });
        text += QStringLiteral(" / 印刷中 %1 件").arg(pending);
    }
    if (m_proxy->rowCount() != m_app.model()->rowCount()) {
        text += QStringLiteral(" (表示 %1 件)").arg(m_proxy->rowCount());
    }
    m_counts->setText(text);
    m_print->setEnabled(chosen > 0 && !m_app.jobPending());
}

void CardWindow::showLabelChoice()
{
    const CardSettings& s = m_app.settings();
    const QSignalBlocker media(m_media);
    const QSignalBlocker sheet(m_sheet);
    const QSignalBlocker start(m_start);
    m_media->setCurrentIndex(s.printLabels ? 1 : 0);
    const int own = m_sheet->findData(QStringLiteral("Custom"));
    m_sheet->setItemText(own,
                         s.customLabels.unreadable.isEmpty() ? s.customLabels.caption()
                                                             : QStringLiteral("カスタム (設定に誤りがあります)"));
    m_sheet->setCurrentIndex(std::max(0, m_sheet->findData(s.labelSheet)));
    m_start->setRange(1, std::max(1, s.labels().cells()));
    m_start->setSuffix(QStringLiteral(" / %1").arg(m_start->maximum()));
    m_start->setValue(s.labelStart);
    for (QWidget* w :
         {static_cast<QWidget*>(m_sheet), static_cast<QWidget*>(m_startCaption), static_cast<QWidget*>(m_start)}) {
        w->setVisible(s.printLabels);
    }
}

void CardWindow::labelChoiceMade(bool editOwn)
{
    CardSettings s = m_app.settings();
    s.printLabels = m_media->currentIndex() == 1;
    s.labelSheet = m_sheet->currentData().toString();
    bool changed = s.labelSheet != m_app.settings().labelSheet;
    if (editOwn) {
        const std::optional<LabelSheet> own = printDialogs().editLabelSheet(this, s.customLabels);
        if (own) {
            s.customLabels = *own;
            changed = true;
        } else {
            s.labelSheet = m_app.settings().labelSheet; // cancelled: the sheet chosen before stays
            changed = false;
        }
    }
    // Another sheet starts at its first label; on the same sheet the operator's number holds.
    s.labelStart = changed ? 1 : m_start->value();
    if (!m_app.setLabelChoice(s)) {
        m_status->setText(QStringLiteral("設定ファイルに書き込めません."));
    }
    showLabelChoice();
}

bool CardWindow::printChosen()
{
    const QList<int> chosen = chosenRows();
    if (chosen.isEmpty()) {
        dialogs().WarningBox(this, QStringLiteral("印刷する行を選んでください."));
        return false;
    }
    QStringList problems;
    const QList<int> rows = m_app.printableRows(chosen, &problems);
    if (rows.isEmpty()) {
        dialogs().WarningBox(
            this, QStringLiteral("選んだ行は印刷できません.\r\n\r\n") + problems.join(QStringLiteral("\r\n")));
        return false;
    }
    if (!problems.isEmpty()) {
        const int shown = 12;
        QStringList listed = problems.mid(0, shown);
        if (problems.size() > shown) {
            listed << QStringLiteral("ほか %1 件").arg(problems.size() - shown);
        }
        if (dialogs().YesNoBox(this,
                               QStringLiteral("次の %1 件は印刷しません:\r\n\r\n%2\r\n\r\n残りの %3 件を印刷しますか？")
                                   .arg(problems.size())
                                   .arg(listed.join(QStringLiteral("\r\n")))
                                   .arg(rows.size()))
            != Answer::Yes) {
            m_status->setText(QStringLiteral("印刷を取り消しました."));
            return false;
        }
    }
    if (m_app.jobPending()) {
        dialogs().WarningBox(this,
                             QStringLiteral("前の印刷ジョブ (%1) が終わるまでお待ちください.").arg(m_app.jobText()));
        return false;
    }
    const CardSettings settings = m_app.settings();
    const LabelSheet sheet = settings.labels();
    if (settings.printLabels && !sheet.problem().isEmpty()) {
        dialogs().WarningBox(this, sheet.problem() + QStringLiteral("\r\n\r\nラベル用紙の寸法を直してください."));
        return false;
    }
    // The list's order is the printing order: what the operator sees is the order the cards come out in.
    std::vector<Card> cards = m_app.cardsFor(rows, settings.printLabels ? contactsPerLabel(sheet) : kContactsPerCard);
    if (cards.empty()) {
        dialogs().WarningBox(
            this,
            QStringLiteral("選んだ行はどれも印刷しない交信です (電子QSLのみ / NO QSL).\r\n\r\n"
                           "印刷するには 設定... で「LoTW/eQSL のみ・NO QSL の交信は印刷しない」を外してください."));
        return false;
    }
    const int count = static_cast<int>(cards.size());
    int start = std::clamp(settings.labelStart, 1, std::max(1, sheet.cells()));
    const PrintChoice choice = settings.printLabels
        ? printDialogs().chooseLabelPrint(this, labelSheetCount(sheet, start, count), settings.printer,
                                          labelPageLayout(sheet),
                                          [&](QPrinter* target) {
                                              QPainter p;
                                              if (p.begin(target)) {
                                                  // The cells' edges shown faintly: where on the sheet each goes.
                                                  paintLabels(p, *target, cards, settings, sheet, start, true);
                                                  p.end();
                                              }
                                          })
        : printDialogs().choosePrint(this, count, settings.printer, [&cards, &settings](QPrinter* target) {
              QPainter p;
              if (p.begin(target)) {
                  paintCards(p, *target, cards, settings);
                  p.end();
              }
          });
    if (!choice.accepted) {
        m_status->setText(QStringLiteral("印刷を取り消しました."));
        return false;
    }
    if (settings.printLabels && choice.fromPage > 0) {
        // Pages are sheets: sheets 2-3 print the labels on them, from the first cell of a fresh sheet, and only
        // their lines count as printed.
        const LabelRange r
            = labelsOnSheets(sheet, start, count, choice.fromPage, std::max(choice.toPage, choice.fromPage));
        if (r.first == r.last) {
            dialogs().WarningBox(this, QStringLiteral("選んだページに印刷するラベルはありません."));
            m_status->setText(QStringLiteral("印刷しませんでした."));
            return false;
        }
        cards = std::vector<Card>(cards.begin() + r.first, cards.begin() + r.last);
        start = r.start;
    } else if (choice.fromPage > 0) {
        // Pages are cards: pages 2-3 print the second and third card and only their lines count as printed.
        const int from = std::clamp(choice.fromPage, 1, static_cast<int>(cards.size()));
        const int to = std::clamp(std::max(choice.toPage, from), from, static_cast<int>(cards.size()));
        cards = std::vector<Card>(cards.begin() + (from - 1), cards.begin() + to);
    }
    if (!choice.printer.isEmpty() && choice.printer != settings.printer) {
        m_app.rememberPrinter(choice.printer);
    }
    PrintTarget target;
    target.printer = choice.printer;
    target.file = choice.file;
    target.copies = choice.copies;
    target.labels = settings.printLabels;
    target.sheet = sheet;
    target.start = start;
    QString message;
    if (!m_app.print(cards, target, &message)) {
        dialogs().WarningBox(this, message);
        m_status->setText(QStringLiteral("印刷しませんでした."));
        return false;
    }
    if (!message.isEmpty()) {
        // Printed, but the log program replaced the lines meanwhile: nothing is reported for them.
        dialogs().WarningBox(this, message);
        m_status->setText(QString());
        return false;
    }
    // A second click on 印刷 must not print the same cards again.
    chooseNone();
    if (target.printer.isEmpty()) {
        m_status->setText(QStringLiteral("%1 枚の%2を %3 に印刷しました.")
                              .arg(cards.size())
                              .arg(target.labels ? QStringLiteral("ラベル") : QStringLiteral("カード"), target.file));
        showLabelChoice(); // the next start on a partly used sheet
    }
    return true;
}

void CardWindow::jobEnded(bool printed, const QString& message)
{
    showLabelChoice();
    m_status->setText(message.section(QStringLiteral("\r\n"), 0, 0));
    if (!printed) {
        dialogs().WarningBox(this, message);
    }
}

void CardWindow::editSettings()
{
    if (m_app.jobPending()) {
        // The next card number belongs to the job until it ended.
        dialogs().WarningBox(
            this,
            QStringLiteral("カードを印刷中です (ジョブ %1).\r\n\r\n印刷が終わってから設定してください.")
                .arg(m_app.jobText()));
        return;
    }
    CardSettingsDialog dlg(m_app.settings(), this);
    if (dlg.exec() != QDialog::Accepted) {
        return;
    }
    if (!m_app.setSettings(dlg.settings())) {
        dialogs().WarningBox(this, QStringLiteral("設定ファイルに書き込めません."));
    }
    showLabelChoice();
}

void CardWindow::editDesigns()
{
    const QList<int> chosen = chosenRows();
    // The preview shows the contact chosen, else the one the list shows first.
    const QModelIndex current = m_list->currentIndex().isValid() ? m_list->currentIndex() : m_proxy->index(0, 0);
    const int row = !chosen.isEmpty() ? chosen.first() : current.isValid() ? m_proxy->mapToSource(current).row() : -1;
    CardDesignDialog dlg(m_app, row, this);
    dlg.exec();
}

void CardWindow::closeEvent(QCloseEvent* event)
{
    if (m_app.jobPending()) {
        // The job's cards are reported only while the program runs.
        dialogs().WarningBox(this,
                             QStringLiteral("カードを印刷中です (ジョブ %1).\r\n\r\n印刷が終わるまで閉じられません.")
                                 .arg(m_app.jobText()));
        event->ignore();
        return;
    }
    if (m_app.disableExit() != 0) {
        // The log program still needs us: closing only hides the window.
        hide();
        event->ignore();
        return;
    }
    event->accept();
    QApplication::quit();
}
