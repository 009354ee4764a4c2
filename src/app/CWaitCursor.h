#ifndef KELBO_APP_CWAITCURSOR_H
#define KELBO_APP_CWAITCURSOR_H

#include <QCursor>
#include <QGuiApplication>

/** @brief Shows the hourglass pointer for its lifetime, also when an error leaves the scope early. */
class CWaitCursor
{
public:
    CWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

#endif
