// Counts the paint events a widget gets, for tests that check a window repaints: install it as the
// widget's event filter.
#pragma once

#include <QEvent>
#include <QObject>

namespace testsupport {

class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++m_paints;
        }
        return false;
    }
    int m_paints = 0;
};

}  // namespace testsupport
