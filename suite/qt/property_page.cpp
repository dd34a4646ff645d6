// The page widget over a page table.
#include "suite/qt/property_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "suite/qt/qt_text.h"

namespace suite {

using platform::automation::FieldKind;
using platform::automation::NumberKind;
using platform::automation::NumberMaximum;
using platform::automation::NumberMinimum;
using platform::automation::Variant;

namespace {

QString FieldName(int32_t id) {
    return QStringLiteral("field%1").arg(id);
}

// The number a field's text stands for, when it is one in the field's range.
std::optional<int32_t> ParseNumber(const QString& text, NumberKind kind) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < NumberMinimum(kind) || value > NumberMaximum(kind)) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

CPropertyPage::CPropertyPage(PageModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    setObjectName(QString::fromStdString(model.Definition().className));
    Build();
    Refresh();
}

void CPropertyPage::Build() {
    auto* outer = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    outer->addLayout(form);
    for (const PageField& field : m_model.Definition().fields) {
        const QString label = FromCp1252(field.label);
        QWidget* widget = nullptr;
        switch (field.kind) {
            case FieldKind::Text:
            case FieldKind::Secret:
            case FieldKind::Number: {
                auto* edit = new QLineEdit(this);
                if (field.kind == FieldKind::Secret) {
                    edit->setEchoMode(QLineEdit::Password);
                }
                connect(edit, &QLineEdit::textEdited, this, [this, &field] { Edited(field); });
                widget = edit;
                form->addRow(label, edit);
                break;
            }
            case FieldKind::Choice: {
                auto* list = new QComboBox(this);
                for (const std::string& choice : field.choices) {
                    list->addItem(FromCp1252(choice));
                }
                connect(list, &QComboBox::currentIndexChanged, this, [this, &field] {
                    if (!m_refreshing) {
                        Edited(field);
                    }
                });
                widget = list;
                form->addRow(label, list);
                break;
            }
            case FieldKind::Check: {
                auto* box = new QCheckBox(label, this);
                connect(box, &QCheckBox::toggled, this, [this, &field] {
                    if (!m_refreshing) {
                        Edited(field);
                    }
                });
                widget = box;
                outer->addWidget(box);
                break;
            }
        }
        widget->setObjectName(FieldName(field.id));
        m_widgets[field.id] = widget;
    }
    outer->addStretch(1);
}

QWidget* CPropertyPage::FieldWidget(int32_t id) const {
    const auto it = m_widgets.find(id);
    return it != m_widgets.end() ? it->second : nullptr;
}

void CPropertyPage::Refresh() {
    m_refreshing = true;
    for (const PageField& field : m_model.Definition().fields) {
        QWidget* widget = m_widgets.at(field.id);
        const auto& value = m_model.Value(field);
        switch (field.kind) {
            case FieldKind::Text:
            case FieldKind::Secret:
                static_cast<QLineEdit*>(widget)->setText(FromCp1252(value.AsBstr()));
                break;
            case FieldKind::Number: {
                const auto waiting = m_invalid.find(m_model.BoundProperty(field));
                static_cast<QLineEdit*>(widget)->setText(
                    waiting != m_invalid.end() ? waiting->second : QString::number(value.AsI4()));
                break;
            }
            case FieldKind::Choice: {
                // A value the list does not hold leaves it without a selection.
                const auto it = std::find(field.choices.begin(), field.choices.end(), value.AsBstr());
                static_cast<QComboBox*>(widget)->setCurrentIndex(
                    it == field.choices.end() ? -1 : static_cast<int>(it - field.choices.begin()));
                break;
            }
            case FieldKind::Check:
                static_cast<QCheckBox*>(widget)->setChecked(value.AsBool());
                break;
        }
    }
    m_refreshing = false;
}

void CPropertyPage::Edited(const PageField& field) {
    QWidget* widget = m_widgets.at(field.id);
    switch (field.kind) {
        case FieldKind::Text:
        case FieldKind::Secret:
            m_model.SetValue(field, Variant::Bstr(ToCp1252(static_cast<QLineEdit*>(widget)->text())));
            break;
        case FieldKind::Number: {
            const QString text = static_cast<QLineEdit*>(widget)->text();
            const std::string& property = m_model.BoundProperty(field);
            if (const auto number = ParseNumber(text, field.number)) {
                m_model.SetValue(field, Variant::I4(*number));
                m_invalid.erase(property);
            } else {
                m_invalid[property] = text;
            }
            break;
        }
        case FieldKind::Choice: {
            const int index = static_cast<QComboBox*>(widget)->currentIndex();
            if (index >= 0 && index < static_cast<int>(field.choices.size())) {
                m_model.SetValue(field, Variant::Bstr(field.choices[static_cast<size_t>(index)]));
            }
            // A bad number left in a field that now shows another property is dropped: it never reached
            // the model, and a message about a field that shows a good number would make no sense.
            std::erase_if(m_invalid, [this](const auto& entry) {
                const auto& fields = m_model.Definition().fields;
                return std::none_of(fields.begin(), fields.end(), [&](const PageField& f) {
                    return m_model.BoundProperty(f) == entry.first;
                });
            });
            break;
        }
        case FieldKind::Check:
            m_model.SetValue(field, Variant::Bool(static_cast<QCheckBox*>(widget)->isChecked()));
            break;
    }
    FieldEdited(field);
    emit changed();
}

const PageField* CPropertyPage::InvalidField(QString* message) const {
    for (const PageField& field : m_model.Definition().fields) {
        if (field.kind != FieldKind::Number) {
            continue;
        }
        for (const std::string* property : {&field.property, &field.localProperty}) {
            if (property->empty() || !m_invalid.contains(*property)) {
                continue;
            }
            if (message != nullptr) {
                *message = QStringLiteral("%1: please enter a whole number from %2 to %3.")
                               .arg(FromCp1252(field.label))
                               .arg(NumberMinimum(field.number))
                               .arg(NumberMaximum(field.number));
            }
            return &field;
        }
    }
    return nullptr;
}

}  // namespace suite
