#ifndef KELBO_APP_TMAINWND_H
#define KELBO_APP_TMAINWND_H

#include <QWidget>

/** @brief The main window. */
class TMainWnd : public QWidget
{
    Q_OBJECT
public:
    explicit TMainWnd(QWidget* parent = nullptr);
};

#endif
