// CQuilletStatusBar: the control's status bar, one text part over its width ("Ready" at first) and the four
// paging buttons at its right end, placed again whenever the bar is resized.
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "terminal/bars/status_button.h"
#include "terminal/bars/toolbar_tables.h"

namespace terminal::bars {

class CQuilletStatusBar : public QWidget {
    Q_OBJECT

  public:
    // The bar's place in the control: inset 4 pixels left and right, from 36 to 4 pixels above the bottom.
    static constexpr int kInset = 4;
    static constexpr int kBottomGap = 4;
    static constexpr int kHeight = 32;

    explicit CQuilletStatusBar(QWidget* parent);
    ~CQuilletStatusBar() override;

    void SetText(const QString& text);
    QString Text() const { return m_text; }
    // The paging buttons from left to right.
    CStatusButton* Button(size_t index) const { return m_buttons[index]; }

  signals:
    void command(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlaceButtons();

    QString m_text;
    std::array<CStatusButton*, 4> m_buttons{};
};

}  // namespace terminal::bars
