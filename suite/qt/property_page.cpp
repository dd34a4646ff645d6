// The page widget over a page table.
#include "suite/qt/property_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "suite/qt/qt_text.h"

namespace suite {

using platform::automation::FieldKind;
using platform::automation::FontDescription;
using platform::automation::NumberKind;
using platform::automation::NumberMaximum;
using platform::automation::NumberMinimum;
using platform::automation::PageBit;
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

// A float's text: the whole text is a number, blanks around it allowed.
std::optional<float> ParseFloat(const QString& text) {
    bool ok = false;
    const float value = text.trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

QFont ToQFont(const platform::automation::CStockFont& font) {
    const FontDescription& d = font.Description();
    QFont qfont(FromCp1252(d.name));
    qfont.setPointSizeF(static_cast<double>(font.SizeCurrency()) / platform::automation::kCurrencyPerPoint);
    qfont.setBold(d.weight > 499);
    qfont.setItalic(d.italic);
    qfont.setUnderline(d.underline);
    qfont.setStrikeOut(d.strikethrough);
    return qfont;
}

std::shared_ptr<platform::automation::CStockFont> FromQFont(const QFont& qfont) {
    FontDescription d;
    d.name = ToCp1252(qfont.family());
    d.weight = qfont.bold() ? 700 : 400;
    d.italic = qfont.italic();
    d.underline = qfont.underline();
    d.strikethrough = qfont.strikeOut();
    const int tenths = static_cast<int>(std::lround(qfont.pointSizeF() * 10));
    d.size = (tenths + 5) / 10;
    return platform::automation::MakePageFont(d, tenths > 0 ? tenths : 100);
}

}  // namespace

CPropertyPage::CPropertyPage(PageModel& model, QWidget* parent)
    : QWidget(parent),
      m_model(model),
      m_chooseFont([](const QFont& initial, QWidget* owner) -> std::optional<QFont> {
          bool ok = false;
          const QFont chosen = QFontDialog::getFont(&ok, initial, owner);
          return ok ? std::optional<QFont>(chosen) : std::nullopt;
      }) {
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
            case FieldKind::Number:
            case FieldKind::Float: {
                auto* edit = new QLineEdit(this);
                if (field.kind == FieldKind::Secret) {
                    edit->setEchoMode(QLineEdit::Password);
                }
                connect(edit, &QLineEdit::textEdited, this, [this, &field] { Edited(field); });
                widget = edit;
                form->addRow(label, edit);
                break;
            }
            case FieldKind::Choice:
            case FieldKind::List: {
                auto* list = new QComboBox(this);
                for (const std::string& choice : m_model.ListStrings(field)) {
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
            case FieldKind::Bits: {
                auto* group = new QGroupBox(label, this);
                auto* column = new QVBoxLayout(group);
                for (const PageBit& bit : field.bits) {
                    auto* box = new QCheckBox(FromCp1252(bit.label), group);
                    box->setObjectName(FieldName(bit.id));
                    connect(box, &QCheckBox::toggled, this, [this, &field] {
                        if (!m_refreshing) {
                            Edited(field);
                        }
                    });
                    column->addWidget(box);
                    m_widgets[bit.id] = box;
                }
                widget = group;
                outer->addWidget(group);
                break;
            }
            case FieldKind::Font: {
                auto* row = new QHBoxLayout();
                auto* name = new QLineEdit(this);
                name->setReadOnly(true);
                auto* button = new QPushButton(QStringLiteral("..."), this);
                button->setObjectName(FieldName(field.buttonId));
                connect(button, &QPushButton::clicked, this, [this, &field] { ChooseFont(field); });
                row->addWidget(name, 1);
                row->addWidget(button);
                form->addRow(label, row);
                m_widgets[field.buttonId] = button;
                widget = name;
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
            case FieldKind::Number:
            case FieldKind::Float: {
                const auto waiting = m_invalid.find(m_model.BoundProperty(field));
                const QString shown = field.kind == FieldKind::Float
                                          ? QString::asprintf("%g", static_cast<double>(value.AsR4()))
                                          : QString::number(value.AsI4());
                static_cast<QLineEdit*>(widget)->setText(waiting != m_invalid.end() ? waiting->second
                                                                                    : shown);
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
            case FieldKind::List:
                static_cast<QComboBox*>(widget)->setCurrentIndex(m_model.ListIndex(field));
                break;
            case FieldKind::Bits:
                for (const PageBit& bit : field.bits) {
                    const bool set = (static_cast<uint32_t>(value.AsI4()) & bit.mask) != 0;
                    static_cast<QCheckBox*>(m_widgets.at(bit.id))->setChecked(set != field.bitsSetWhenClear);
                }
                break;
            case FieldKind::Font: {
                const auto font = platform::automation::PageFontOf(value);
                static_cast<QLineEdit*>(widget)->setText(font ? FromCp1252(font->Description().name)
                                                              : QString());
                break;
            }
        }
    }
    m_refreshing = false;
}

void CPropertyPage::ChooseFont(const PageField& field) {
    const auto current = platform::automation::PageFontOf(m_model.Value(field));
    const QFont initial = current ? ToQFont(*current) : ToQFont(*platform::automation::DefaultPageFont());
    const std::optional<QFont> chosen = m_chooseFont ? m_chooseFont(initial, this) : std::nullopt;
    if (!chosen) {
        return;
    }
    m_model.SetValue(field, Variant::Dispatch(FromQFont(*chosen)));
    Refresh();
    FieldEdited(field);
    emit changed();
}

void CPropertyPage::Edited(const PageField& field) {
    QWidget* widget = m_widgets.at(field.id);
    switch (field.kind) {
        case FieldKind::Text:
        case FieldKind::Secret:
            m_model.SetValue(field, Variant::Bstr(ToCp1252(static_cast<QLineEdit*>(widget)->text())));
            break;
        case FieldKind::Number:
        case FieldKind::Float: {
            const QString text = static_cast<QLineEdit*>(widget)->text();
            const std::string& property = m_model.BoundProperty(field);
            std::optional<Variant> parsed;
            if (field.kind == FieldKind::Float) {
                if (const auto number = ParseFloat(text)) {
                    parsed = Variant::R4(*number);
                }
            } else if (const auto number = ParseNumber(text, field.number)) {
                parsed = Variant::I4(*number);
            }
            if (parsed) {
                m_model.SetValue(field, *parsed);
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
        case FieldKind::List: {
            const int index = static_cast<QComboBox*>(widget)->currentIndex();
            if (index >= 0 && index < static_cast<int>(field.listValues.size())) {
                m_model.SetValue(field, Variant::I4(field.listValues[static_cast<size_t>(index)]));
            }
            break;
        }
        case FieldKind::Bits: {
            uint32_t bits = static_cast<uint32_t>(m_model.Value(field).AsI4());
            for (const PageBit& bit : field.bits) {
                const bool checked = static_cast<QCheckBox*>(m_widgets.at(bit.id))->isChecked();
                bits = (checked != field.bitsSetWhenClear) ? (bits | bit.mask) : (bits & ~bit.mask);
            }
            m_model.SetValue(field, Variant::I4(static_cast<int32_t>(bits)));
            break;
        }
        case FieldKind::Font:
            return;  // the button chooses; the face name is not edited
    }
    FieldEdited(field);
    emit changed();
}

const PageField* CPropertyPage::InvalidField(QString* message) const {
    for (const PageField& field : m_model.Definition().fields) {
        if (field.kind != FieldKind::Number && field.kind != FieldKind::Float) {
            continue;
        }
        for (const std::string* property : {&field.property, &field.localProperty}) {
            if (property->empty() || !m_invalid.contains(*property)) {
                continue;
            }
            if (message != nullptr && field.kind == FieldKind::Float) {
                *message = QStringLiteral("%1: please enter a number.").arg(FromCp1252(field.label));
            } else if (message != nullptr) {
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
