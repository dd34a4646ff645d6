// A property page's widget: one form built from the page's table, kept in step with the page's model.
// A page class with more to do derives from it.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/automation/page_model.h"

namespace suite {

using platform::automation::PageField;
using platform::automation::PageModel;

class CPropertyPage : public QWidget {
    Q_OBJECT

  public:
    // Asks the user for a font, starting from `initial`; nullopt when the user cancels.
    using FontChooser = std::function<std::optional<QFont>(const QFont& initial, QWidget* parent)>;

    CPropertyPage(PageModel& model, QWidget* parent = nullptr);

    // The system font dialog unless replaced.
    void SetFontChooser(FontChooser chooser) { m_chooseFont = std::move(chooser); }

    PageModel& Model() { return m_model; }
    // The dialog control of a field, of a box of a bits field or of a font field's button (objectName
    // "field<id>").
    QWidget* FieldWidget(int32_t id) const;
    // Shows the model's values (and number texts still waiting for a valid number).
    void Refresh();
    // The first field whose text is not a number in its range, and a message that says so; null when every
    // field holds a value the model took.
    const PageField* InvalidField(QString* message = nullptr) const;
    bool HasInvalidText() const { return !m_invalid.empty(); }

  signals:
    // A field was edited by the user.
    void changed();

  protected:
    // After a user edit went to the model.
    virtual void FieldEdited(const PageField& field) { (void)field; }

  private:
    void Build();
    void Edited(const PageField& field);
    void ChooseFont(const PageField& field);

    PageModel& m_model;
    std::map<int32_t, QWidget*> m_widgets;
    std::map<std::string, QString> m_invalid;  // property -> the text the user left there
    bool m_refreshing = false;
    FontChooser m_chooseFont;
};

}  // namespace suite
