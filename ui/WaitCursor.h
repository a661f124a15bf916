#pragma once

#include <QApplication>

/// The wait cursor for the length of a scope (a long start-up, shutdown or file rewrite),
/// restored on every path out. UI thread.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
