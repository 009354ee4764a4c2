#include "CardoApplication.h"

#include "CardPrinter.h"
#include "CardWindow.h"

#include <QDBusError>
#include <QTimer>
#include <algorithm>
#include <unistd.h>

HeldLinesModel::HeldLinesModel(const std::vector<HeldLine>& lines, QObject* parent)
    : QAbstractTableModel(parent)
    , m_lines(lines)
{
}

int HeldLinesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int HeldLinesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant HeldLinesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown || role != Qt::DisplayRole) {
        return {};
    }
    const HeldLine& l = m_lines[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case 0:
        return l.position;
    case 1:
        return l.printed ? QStringLiteral("印刷済") : QString();
    default:
        return l.text;
    }
}

QVariant HeldLinesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const titles[] = {"位置", "状態", "ログデータ"};
    return section >= 0 && section < 3 ? QString::fromUtf8(titles[section]) : QVariant();
}

void HeldLinesModel::sync()
{
    const int held = static_cast<int>(m_lines.size());
    if (held < m_shown) {
        reload();
    } else if (held > m_shown) {
        beginInsertRows(QModelIndex(), m_shown, held - 1);
        m_shown = held;
        endInsertRows();
    }
}

void HeldLinesModel::reload()
{
    beginResetModel();
    m_shown = static_cast<int>(m_lines.size());
    endResetModel();
}

void HeldLinesModel::refresh(int first, int last)
{
    if (first <= last && last < m_shown) {
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    }
}

CardoApplication::CardoApplication(QObject* parent)
    : QObject(parent)
    , m_model(m_lines)
{
    m_window = new CardWindow(*this);
    bool ok = false;
    const long exitAfter = qEnvironmentVariable("CARDO_STANDIN_EXIT_AFTER_LINES").toLong(&ok);
    if (ok) {
        m_exitAfterLines = exitAfter;
    }
}

CardoApplication::~CardoApplication()
{
    delete m_window;
}

void CardoApplication::ShowWindow(int how)
{
    if (how == 0) {
        m_window->hide();
    } else {
        m_window->show();
    }
}

void CardoApplication::NewDoc()
{
    m_printStat = 0;
}

void CardoApplication::DeleteLog()
{
    m_lines.clear();
    m_model.reload();
    m_window->setStatus(QString());
}

void CardoApplication::AddLogPos(const QString& line, int position)
{
    if (m_exitAfterLines >= 0 && static_cast<long>(m_lines.size()) >= m_exitAfterLines) {
        // Test hook: behave like a card program that crashes in the middle of a transfer.
        ::_exit(3);
    }
    m_lines.push_back({line, position, false});
    scheduleSync();
}

void CardoApplication::SetPrintMax()
{
    m_model.sync();
    m_window->chooseAll();
}

void CardoApplication::Foreground()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void CardoApplication::DoLogList()
{
    m_model.sync();
    m_window->setStatus(QStringLiteral("%1 行").arg(m_lines.size()));
}

int CardoApplication::GetPrintedPos(int index)
{
    if (index < 0 || index >= logCount()) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no line %1 (%2 held)").arg(index).arg(logCount()));
        return -1;
    }
    const HeldLine& l = m_lines[static_cast<std::size_t>(index)];
    return l.printed ? l.position : -1;
}

void CardoApplication::DeletePrintedData()
{
    m_lines.erase(std::remove_if(m_lines.begin(), m_lines.end(), [](const HeldLine& l) { return l.printed; }),
                  m_lines.end());
    m_model.reload();
}

QString CardoApplication::PrintLines(const QList<int>& indexes)
{
    QString error;
    const QString path = printRows(indexes, &error);
    if (path.isEmpty()) {
        sendErrorReply(QDBusError::InvalidArgs, error);
    }
    return path;
}

QString CardoApplication::printRows(const QList<int>& rows, QString* error)
{
    if (rows.isEmpty()) {
        *error = QStringLiteral("no line chosen");
        return QString();
    }
    std::vector<QString> texts;
    for (int r : rows) {
        if (r < 0 || r >= logCount()) {
            *error = QStringLiteral("no line %1 (%2 held)").arg(r).arg(logCount());
            return QString();
        }
        texts.push_back(m_lines[static_cast<std::size_t>(r)].text);
    }
    const QString path = printCards(texts, cardsFolder(), error);
    if (path.isEmpty()) {
        return path;
    }
    m_model.sync();
    for (int r : rows) {
        m_lines[static_cast<std::size_t>(r)].printed = true;
        m_model.refresh(r, r);
    }
    m_printStat = 2;
    m_window->setStatus(QStringLiteral("%1 枚印刷しました: %2").arg(rows.size()).arg(path));
    return path;
}

void CardoApplication::scheduleSync()
{
    if (m_syncPending) {
        return;
    }
    m_syncPending = true;
    // Take up a run of appended lines in one step once the calls pause.
    QTimer::singleShot(200, this, [this] {
        m_syncPending = false;
        m_model.sync();
    });
}
