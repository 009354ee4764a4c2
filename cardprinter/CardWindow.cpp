#include "CardWindow.h"

#include "CardoApplication.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

CardWindow::CardWindow(CardoApplication& app)
    : m_app(app)
{
    setWindowTitle(QStringLiteral("CARDO (stand-in)"));
    resize(760, 420);
    m_list = new QTableView(this);
    m_list->setModel(app.model());
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setColumnWidth(0, 70);
    m_list->setColumnWidth(1, 70);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_print = new QPushButton(QStringLiteral("印刷"), this);
    m_status = new QLabel(this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_print);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(bottom);
    connect(m_print, &QPushButton::clicked, this, &CardWindow::printChosen);
}

void CardWindow::chooseAll()
{
    m_list->selectAll();
}

void CardWindow::setStatus(const QString& text)
{
    m_status->setText(text);
}

void CardWindow::printChosen()
{
    QList<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows()) {
        rows << i.row();
    }
    if (rows.isEmpty()) {
        QMessageBox::information(this, windowTitle(), QStringLiteral("印刷する行を選んでください."));
        return;
    }
    QString error;
    if (m_app.printRows(rows, &error).isEmpty()) {
        QMessageBox::warning(this, windowTitle(), error);
    }
}

void CardWindow::closeEvent(QCloseEvent* event)
{
    if (m_app.disableExit() != 0) {
        // The log program still needs us: closing only hides the window.
        hide();
        event->ignore();
        return;
    }
    event->accept();
    QApplication::quit();
}
