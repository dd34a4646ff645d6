// One of the control's toolbars: a row of flat image buttons after an indent, each with its tooltip, each
// reporting its command id when clicked.
#pragma once

#include <QWidget>
#include <span>
#include <vector>

#include "terminal/bars/toolbar_tables.h"

class QToolButton;

namespace terminal::bars {

class CToolbarStrip : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kButtonWidth = 23;
    static constexpr int kButtonHeight = 21;

    explicit CToolbarStrip(QWidget* parent);

    // Replaces the buttons; nothing changes when they are the same.
    void SetButtons(std::span<const ToolbarButton> buttons, int indent);
    std::vector<int32_t> ButtonIds() const;
    int Indent() const { return m_indent; }
    // The button of command `id`, or null.
    QToolButton* Button(int32_t id) const;

  signals:
    void command(int id);

  private:
    std::vector<QToolButton*> m_buttons;
    int m_indent = 0;
};

}  // namespace terminal::bars
