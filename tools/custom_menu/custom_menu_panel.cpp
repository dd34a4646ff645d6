#include "tools/custom_menu/custom_menu_panel.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <utility>

#include "suite/qt/qt_text.h"

namespace tools {

CustomMenuPanel::CustomMenuPanel(Options options, QWidget* parent)
    : QWidget(parent),
      m_options(std::move(options)),
      m_editor(m_options.rules),
      m_list(new QListWidget(this)),
      m_moveUp(new QPushButton(QStringLiteral("Move &Up"), this)),
      m_moveDown(new QPushButton(QStringLiteral("Move &Down"), this)),
      m_add(new QPushButton(QStringLiteral("&Add"), this)),
      m_remove(new QPushButton(QStringLiteral("&Remove"), this)),
      m_separator(new QPushButton(QStringLiteral("&Separator"), this)),
      m_title(new QLineEdit(this)),
      m_action(new QLineEdit(this)) {
    m_list->setObjectName(QStringLiteral("items"));
    m_moveUp->setObjectName(QStringLiteral("moveUp"));
    m_moveDown->setObjectName(QStringLiteral("moveDown"));
    m_add->setObjectName(QStringLiteral("add"));
    m_remove->setObjectName(QStringLiteral("remove"));
    m_separator->setObjectName(QStringLiteral("separator"));
    m_title->setObjectName(QStringLiteral("title"));
    m_action->setObjectName(QStringLiteral("action"));
    if (const size_t cut = m_options.rules.maxFieldLength; cut != 0) {
        m_title->setMaxLength(static_cast<int>(cut));
        m_action->setMaxLength(static_cast<int>(cut));
    }
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {m_moveUp, m_moveDown, m_add, m_remove, m_separator}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(buttons);

    auto* properties = new QGroupBox(QStringLiteral("Properties"), this);
    auto* fields = new QFormLayout(properties);
    fields->addRow(QStringLiteral("&Title:"), m_title);
    fields->addRow(QStringLiteral("A&ction:"), m_action);
    if (m_options.chainCommand) {
        m_chain = new QCheckBox(QStringLiteral("C&hain Command"), properties);
        m_chain->setObjectName(QStringLiteral("chain"));
        fields->addRow(QString(), m_chain);
        connect(m_chain, &QCheckBox::clicked, this,
                [this](bool checked) { m_editor.SetChainChecked(checked); });
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(properties);

    connect(m_list, &QListWidget::itemSelectionChanged, this, &CustomMenuPanel::OnListSelection);
    connect(m_title, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!m_editor.EditsEnabled()) {
            return;
        }
        m_editor.SetTitle(suite::ToCp1252(text));
        const QSignalBlocker block(m_list);
        m_list->item(m_editor.Selection())->setText(suite::FromCp1252(m_editor.Title()));
    });
    connect(m_action, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_editor.SetAction(suite::ToCp1252(text)); });
    connect(m_add, &QPushButton::clicked, this, [this] {
        if (!m_editor.Add() && m_options.addRefused) {
            m_options.addRefused();
        }
        FillList();
    });
    connect(m_separator, &QPushButton::clicked, this, [this] {
        m_editor.AddSeparator();
        FillList();
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        m_editor.Remove();
        FillList();
    });
    connect(m_moveUp, &QPushButton::clicked, this, [this] {
        m_editor.MoveUp();
        FillList();
    });
    connect(m_moveDown, &QPushButton::clicked, this, [this] {
        m_editor.MoveDown();
        FillList();
    });

    FillList();
}

void CustomMenuPanel::SetItems(const practice::CCustomMenuItemArray& items) {
    m_editor.SetItems(items);
    FillList();
}

// Redrawn whole with updates off, then the editor's selection is put back.
void CustomMenuPanel::FillList() {
    {
        const QSignalBlocker block(m_list);
        m_list->setUpdatesEnabled(false);
        m_list->clear();
        for (const practice::CCustomMenuItem& item : m_editor.Items()) {
            m_list->addItem(suite::FromCp1252(item.m_Title));
        }
        if (m_editor.Selection() == practice::CCustomMenuEditor::kNone) {
            m_list->clearSelection();
        } else {
            m_list->setCurrentRow(m_editor.Selection(), QItemSelectionModel::ClearAndSelect);
        }
        m_list->setUpdatesEnabled(true);
    }
    ShowSelection();
}

void CustomMenuPanel::OnListSelection() {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    m_editor.Select(selected.isEmpty() ? practice::CCustomMenuEditor::kNone
                                       : m_list->row(selected.constFirst()));
    ShowSelection();
}

void CustomMenuPanel::ShowSelection() {
    m_title->setText(suite::FromCp1252(m_editor.Title()));
    m_action->setText(suite::FromCp1252(m_editor.Action()));
    m_title->setEnabled(m_editor.EditsEnabled());
    m_action->setEnabled(m_editor.EditsEnabled());
    if (m_chain != nullptr) {
        m_chain->setChecked(m_editor.ChainChecked());
        m_chain->setEnabled(m_editor.EditsEnabled());
    }
    m_moveUp->setEnabled(m_editor.CanMoveUp());
    m_moveDown->setEnabled(m_editor.CanMoveDown());
    m_remove->setEnabled(m_editor.CanRemove());
}

}  // namespace tools
