#include "CardWindow.h"

#include "CardoApplication.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

CardWindow::CardWindow(CardoApplication& app)
    : m_app(app)
{
    setWindowTitle(QStringLiteral("CARDO (stand-in)"));
    resize(760, 420);
    m_list = new QListView(this);
    m_list->setModel(app.model());
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
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
