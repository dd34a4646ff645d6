// The dataset dialog's widgets and the chooser that shows it.
#include "tools/dataset_sel_dlg.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/user_prompt.h"
#include "suite/qt/qt_text.h"

namespace tools {

namespace {

constexpr int kIndexRole = Qt::UserRole;

// The caller may hold the wait cursor while the probe runs; the user needs the arrow to choose.
class ArrowCursorWhileShown {
  public:
    ArrowCursorWhileShown() : m_active(QApplication::overrideCursor() != nullptr) {
        if (m_active) {
            QApplication::setOverrideCursor(Qt::ArrowCursor);
        }
    }
    ~ArrowCursorWhileShown() {
        if (m_active) {
            QApplication::restoreOverrideCursor();
        }
    }
    ArrowCursorWhileShown(const ArrowCursorWhileShown&) = delete;
    ArrowCursorWhileShown& operator=(const ArrowCursorWhileShown&) = delete;

  private:
    bool m_active;
};

}  // namespace

CDatasetSelDlg::CDatasetSelDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Halvex Carrowline Dataset"));

    auto* group = new QGroupBox(QStringLiteral("Available Practices"), this);
    group->setObjectName(QStringLiteral("practicesGroup"));
    m_list = new QListWidget(group);
    m_list->setObjectName(QStringLiteral("practiceList"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_list);

    auto* back = new QPushButton(QStringLiteral("<<&Back"), this);
    back->setObjectName(QStringLiteral("backButton"));
    back->setAutoDefault(false);
    m_next = new QPushButton(QStringLiteral("&Next>>"), this);
    m_next->setObjectName(QStringLiteral("nextButton"));
    m_next->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(back);
    buttons->addWidget(m_next);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    connect(m_next, &QPushButton::clicked, this, &CDatasetSelDlg::accept);
    connect(back, &QPushButton::clicked, this, &CDatasetSelDlg::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { accept(); });
}

void CDatasetSelDlg::SetList(std::vector<std::string> names, std::vector<int32_t> indexes) {
    const size_t count = std::min(names.size(), indexes.size());
    names.resize(count);
    indexes.resize(count);
    m_names = std::move(names);
    m_indexes = std::move(indexes);
    m_chosen = -1;
    FillList();
}

void CDatasetSelDlg::FillList() {
    m_list->clear();
    for (size_t i = 0; i < m_names.size(); ++i) {
        auto* item = new QListWidgetItem(suite::FromCp1252(m_names[i]), m_list);
        item->setData(kIndexRole, m_indexes[i]);
    }
}

void CDatasetSelDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_list->setFocus();
}

bool CDatasetSelDlg::RunModal() {
    m_chosen = -1;
    return exec() == QDialog::Accepted;
}

void CDatasetSelDlg::accept() {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        platform::DefaultPrompt().Message("Please select a Practice dataset to continue login process.",
                                          platform::PromptIcon::Information);
        m_list->setFocus();
        return;
    }
    m_chosen = selected.front()->data(kIndexRole).toInt();
    QDialog::accept();
}

std::optional<int32_t> QtDatasetChooser::Choose(std::span<const std::string> names,
                                                std::span<const int32_t> indexes) {
    // On the heap and watched: should the parent go while the dialog runs, it takes the dialog with it,
    // and that counts as closing it.
    QPointer<CDatasetSelDlg> dialog = new CDatasetSelDlg(m_parent);
    dialog->SetList({names.begin(), names.end()}, {indexes.begin(), indexes.end()});
    bool chosen = false;
    {
        ArrowCursorWhileShown arrow;
        chosen = dialog->RunModal();
    }
    if (dialog.isNull()) {
        return std::nullopt;
    }
    const int32_t index = dialog->GetChosenIndex();
    delete dialog.data();
    if (!chosen) {
        return std::nullopt;
    }
    return index;
}

}  // namespace tools
