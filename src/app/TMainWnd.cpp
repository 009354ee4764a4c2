#include "app/TMainWnd.h"

TMainWnd::TMainWnd(QWidget* parent) : QWidget(parent), m_link(makeTransferLink())
{
    setWindowTitle(QStringLiteral("KELBO Ver 1.03"));
    resize(640, 400);
}
