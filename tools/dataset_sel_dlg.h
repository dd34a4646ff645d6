// The dataset choice: the practices a probe offers, one of which the user picks before the control
// connects, and the Qt chooser the probe runs it through.
#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/practice_probe.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tools {

class CDatasetSelDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CDatasetSelDlg(QWidget* parent = nullptr);

    // The names to show (8-bit text) and each one's practice position, in parallel and in display order.
    // Pairs beyond the shorter list are not shown.
    void SetList(std::vector<std::string> names, std::vector<int32_t> indexes);
    const std::vector<std::string>& GetNames() const { return m_names; }
    const std::vector<int32_t>& GetIndexes() const { return m_indexes; }

    // Modal; true when the user chose a practice with "&Next>>" (or a double click).
    bool RunModal();
    // The chosen practice position, -1 until one was chosen.
    int32_t GetChosenIndex() const { return m_chosen; }

    // "&Next>>" and Enter: refused with a message (the dialog stays) while nothing is selected.
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FillList();

    QListWidget* m_list = nullptr;
    QPushButton* m_next = nullptr;
    std::vector<std::string> m_names;
    std::vector<int32_t> m_indexes;
    int32_t m_chosen = -1;
};

// Runs the dataset dialog over `parent` for the practice probe.
class QtDatasetChooser : public DatasetChooser {
  public:
    explicit QtDatasetChooser(QWidget* parent = nullptr) : m_parent(parent) {}
    std::optional<int32_t> Choose(std::span<const std::string> names,
                                  std::span<const int32_t> indexes) override;

  private:
    QPointer<QWidget> m_parent;
};

}  // namespace tools
