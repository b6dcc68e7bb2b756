#pragma once

#include <QApplication>

#include <functional>

namespace lurvik {

// Work short enough to hold the window still for a moment runs under a wait cursor; work that
// may take longer is sliced (SlicedWork) so that the window keeps answering.
inline void withWaitCursor(const std::function<void()>& work) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    work();
    QApplication::restoreOverrideCursor();
}

} // namespace lurvik
