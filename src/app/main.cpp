#include "app/TMainWnd.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KELBO"));
    TMainWnd wnd;
    wnd.show();
    app.exec();
    return 0;
}
