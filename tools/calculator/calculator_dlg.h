// The calculator dialog: 22 buttons and the display over CCalculatorEngine. The keyboard drives the same
// buttons, which animate as if clicked; the focus only ever rests on OK or '='.
#pragma once

#include <QDialog>
#include <cstdint>
#include <map>

#include "tools/calculator/calculator_engine.h"

class QLabel;
class QPushButton;

namespace tools {

class CCalculator : public QDialog {
    Q_OBJECT

  public:
    explicit CCalculator(QWidget* owner = nullptr);

    // What the display shows, times 100000: after '%' and '+/-' as well, and exact at any size.
    int64_t GetValue() const { return m_engine.Value(); }
    const CCalculatorEngine& Engine() const { return m_engine; }
    QPushButton* Button(CalcButton id) const;
    // The one of OK and '=' that keeps the focus.
    CalcButton FocusedButton() const { return m_focused; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    static constexpr int kPressShowMs = 100;

    void Clicked(CalcButton id);
    // A key's press of a button: the click, and the face pressed for a moment.
    void PressByKey(CalcButton id);
    // True when the key belonged to the calculator.
    bool HandleKey(const QKeyEvent& event);

    CCalculatorEngine m_engine;
    QLabel* m_display = nullptr;
    std::map<CalcButton, QPushButton*> m_buttons;
    CalcButton m_focused = CalcButton::Ok;
};

}  // namespace tools
