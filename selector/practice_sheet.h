// "Practice Properties": the practice page and the environment page over their models, and the warning
// about an environment entry typed but never set.
#pragma once

#include <QDialog>

#include "practice/practice.h"
#include "selector/environ_editor.h"
#include "selector/practice_page_model.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QTabWidget;
class QTreeWidget;
class QPushButton;

namespace selector {

// "Warning": an environment entry typed but never set. Each button ends the dialog with its own code.
class CDangerDlg : public QDialog {
    Q_OBJECT
  public:
    enum Answer { kYes = 1043, kCancel = 1044, kNo = 1045 };
    CDangerDlg(const QString& variable, const QString& value, QWidget* parent = nullptr);
    QPushButton* Button(Answer answer) const;
};

class CPracticeSheet : public QDialog {
    Q_OBJECT
  public:
    CPracticeSheet(const practice::CPractice& practice, QWidget* parent = nullptr);
    // The entered practice, after OK.
    const practice::CPractice& Practice() const { return m_practice; }
    void accept() override;

    QLineEdit* m_name = nullptr;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_data = nullptr;
    QLineEdit* m_progs = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_printer = nullptr;
    QLineEdit* m_terminal = nullptr;
    QLineEdit* m_billServ = nullptr;
    QCheckBox* m_wan = nullptr;
    QButtonGroup* m_conn = nullptr;
    QButtonGroup* m_type = nullptr;
    QLineEdit* m_variable = nullptr;
    QLineEdit* m_value = nullptr;
    QTreeWidget* m_envList = nullptr;
    QTabWidget* m_tabs = nullptr;

  private:
    PracticePageValues ReadPage() const;
    void UpdateEnabled();
    void FillEnvironment();
    bool SetVariable();
    // Reads, trims and checks the practice page; a refusal shows it with the message and the field focused.
    bool CheckPracticePage(PracticePageValues& values);
    void Browse(QLineEdit* edit, const char* title);

    practice::CPractice m_practice;
    int32_t m_storedType;
    bool m_typePicked = false;
    EnvironEditor m_environ;
    bool m_environShown = false;
};

}  // namespace selector
