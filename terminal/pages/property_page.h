// The property pages' widgets: one form per page built from its table, kept in step with the page's model.
// CPPConnect also follows the connector: the local connector takes the network fields away and its
// connection fields show the local settings.
#pragma once

#include <QString>
#include <QWidget>
#include <map>
#include <string>

#include "terminal/pages/page_model.h"

namespace terminal::pages {

class CPropertyPage : public QWidget {
    Q_OBJECT

  public:
    CPropertyPage(PageModel& model, QWidget* parent = nullptr);

    PageModel& Model() { return m_model; }
    // The dialog control of a field (objectName "field<id>").
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

    PageModel& m_model;
    std::map<int32_t, QWidget*> m_widgets;
    std::map<std::string, QString> m_invalid;  // property -> the text the user left there
    bool m_refreshing = false;
};

class CPPConnect final : public CPropertyPage {
    Q_OBJECT

  public:
    explicit CPPConnect(PageModel& model, QWidget* parent = nullptr);

  protected:
    void FieldEdited(const PageField& field) override;

  private:
    void EnableNetworkFields();
};

class CPPDisplay final : public CPropertyPage {
    Q_OBJECT

  public:
    explicit CPPDisplay(PageModel& model, QWidget* parent = nullptr) : CPropertyPage(model, parent) {}
};

class CPPLogin final : public CPropertyPage {
    Q_OBJECT

  public:
    explicit CPPLogin(PageModel& model, QWidget* parent = nullptr) : CPropertyPage(model, parent) {}
};

// The widget of the page the model's table describes.
CPropertyPage* CreatePageWidget(PageModel& model, QWidget* parent);

}  // namespace terminal::pages
