// The practice property sheet on Qt Widgets; its rules live in the page and environment models.

#include "selector/practice_sheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/user_prompt.h"
#include "suite/qt/qt_text.h"

namespace selector {
namespace {

QLineEdit* Edit(const std::string& text) {
    return new QLineEdit(suite::FromCp1252(text));
}
std::string Text(const QLineEdit* edit) {
    return suite::ToCp1252(edit->text());
}

void Warn(const std::string& caption, const std::string& text) {
    platform::PromptRequest request;
    request.text = text;
    request.caption = caption;
    request.icon = platform::PromptIcon::Exclamation;
    platform::DefaultPrompt().Show(request);
}

}  // namespace

CDangerDlg::CDangerDlg(const QString& variable, const QString& value, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Warning");
    auto* field = new QLineEdit(variable + " = " + value, this);
    field->setObjectName("entry");
    field->setReadOnly(true);
    auto* buttons = new QHBoxLayout;
    for (const auto& [answer, text] :
         {std::pair{kYes, "Yes"}, std::pair{kNo, "No"}, std::pair{kCancel, "Cancel"}}) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(text);
        connect(button, &QPushButton::clicked, this, [this, answer] { done(answer); });
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("The environmental variable which you have entered:", this));
    layout->addWidget(field);
    layout->addWidget(
        new QLabel("Has not been set and will be lost.  Would you like to set this variable now?", this));
    layout->addLayout(buttons);
}

QPushButton* CDangerDlg::Button(Answer answer) const {
    return findChild<QPushButton*>(answer == kYes ? "Yes" : answer == kNo ? "No" : "Cancel");
}

CPracticeSheet::CPracticeSheet(const practice::CPractice& practice, QWidget* parent)
    : QDialog(parent),
      m_practice(practice),
      m_storedType(practice.m_PracticeType),
      m_environ(practice.m_Environment) {
    setWindowTitle("Practice Properties");
    const PracticePageValues v = LoadPage(practice);

    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    m_conn = new QButtonGroup(this);
    auto* local = new QRadioButton("&Local");
    auto* remote = new QRadioButton("&Remote");
    m_conn->addButton(local, 0);
    m_conn->addButton(remote, 1);
    (v.connType == 0 ? local : remote)->setChecked(true);
    auto* connRow = new QHBoxLayout;
    connRow->addWidget(local);
    connRow->addWidget(remote);
    form->addRow(connRow);
    m_name = Edit(v.name);
    m_host = Edit(v.host);
    m_data = Edit(v.sorelData);
    m_progs = Edit(v.sorelProgs);
    form->addRow("Practice &Name:", m_name);
    form->addRow("&Hostname:", m_host);
    for (auto [edit, label, title] :
         {std::tuple{m_data, "Sorel&data:", "Select the location of the SORELDATA directory."},
          std::tuple{m_progs, "Sorel&progs:", "Select the location of the SORELPROGS directory."}}) {
        auto* row = new QHBoxLayout;
        auto* browse = new QPushButton(". . .");
        browse->setAutoDefault(false);
        connect(browse, &QPushButton::clicked, this, [this, edit, title] { Browse(edit, title); });
        row->addWidget(edit);
        row->addWidget(browse);
        form->addRow(label, row);
    }
    m_port = Edit(v.port);
    m_printer = Edit(v.printer);
    m_terminal = Edit(v.terminal);
    form->addRow("P&ort:", m_port);
    form->addRow("Pr&inter:", m_printer);
    form->addRow("&Terminal:", m_terminal);
    m_wan = new QCheckBox("&Wan Mode");
    m_wan->setChecked(v.wanMode);
    form->addRow(m_wan);
    m_type = new QButtonGroup(this);
    auto* typeRow = new QHBoxLayout;
    for (auto [text, id] :
         {std::pair{"Norm&al", 0}, std::pair{"&Billing Service", 2}, std::pair{"&MSO", 4}}) {
        auto* radio = new QRadioButton(text);
        m_type->addButton(radio, id);
        typeRow->addWidget(radio);
        radio->setChecked(id == v.ShownType());
    }
    m_billServ = Edit(v.billServ);
    typeRow->addWidget(new QLabel("#:"));
    typeRow->addWidget(m_billServ);
    form->addRow(typeRow);
    connect(m_conn, &QButtonGroup::idClicked, this, &CPracticeSheet::UpdateEnabled);
    connect(m_type, &QButtonGroup::idClicked, this, [this] {
        m_typePicked = true;
        UpdateEnabled();
    });

    auto* envPage = new QWidget;
    auto* envLayout = new QFormLayout(envPage);
    m_variable = new QLineEdit;
    m_value = new QLineEdit;
    envLayout->addRow("&Variable:", m_variable);
    envLayout->addRow("Va&lue:", m_value);
    m_envList = new QTreeWidget;
    m_envList->setHeaderLabels({"Variable", "Value"});
    m_envList->setRootIsDecorated(false);
    envLayout->addRow("&Settings:", m_envList);
    auto* set = new QPushButton("S&et");
    auto* del = new QPushButton("&Delete");
    set->setAutoDefault(false);
    del->setAutoDefault(false);
    auto* envButtons = new QHBoxLayout;
    envButtons->addWidget(set);
    envButtons->addWidget(del);
    envLayout->addRow(envButtons);
    connect(set, &QPushButton::clicked, this, [this] { SetVariable(); });
    connect(del, &QPushButton::clicked, this, [this] {
        const int row = m_envList->indexOfTopLevelItem(m_envList->currentItem());
        if (row >= 0)
            m_environ.Delete(static_cast<size_t>(row));
        m_variable->clear();
        m_value->clear();
        FillEnvironment();
    });
    connect(m_envList, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        m_variable->setText(item->text(0));
        m_value->setText(item->text(1));
    });
    FillEnvironment();

    m_tabs = new QTabWidget;
    m_tabs->addTab(page, "Practice Settings");
    m_tabs->addTab(envPage, "Environment");
    connect(m_tabs, &QTabWidget::currentChanged, this, [this, envPage](int index) {
        if (m_tabs->widget(index) != envPage)
            return;
        // Leaving the practice page checks it as OK does, and a refusal keeps it.
        PracticePageValues checked;
        if (!CheckPracticePage(checked))
            return;
        m_environShown = true;
        envPage->setEnabled(m_conn->checkedId() != 0);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPracticeSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    UpdateEnabled();
}

void CPracticeSheet::UpdateEnabled() {
    const bool remote = m_conn->checkedId() != 0;
    m_host->setEnabled(remote);
    m_port->setEnabled(remote);
    m_wan->setEnabled(remote);
    m_billServ->setEnabled(m_type->checkedId() == 2 && (m_typePicked || m_storedType == 2));
}

PracticePageValues CPracticeSheet::ReadPage() const {
    PracticePageValues v;
    v.connType = m_conn->checkedId() == 0 ? 0 : 1;
    v.name = Text(m_name);
    v.host = Text(m_host);
    v.sorelData = Text(m_data);
    v.sorelProgs = Text(m_progs);
    v.port = Text(m_port);
    v.printer = Text(m_printer);
    v.terminal = Text(m_terminal);
    v.billServ = Text(m_billServ);
    v.wanMode = m_wan->isChecked();
    v.practiceType = m_typePicked ? m_type->checkedId() : m_storedType;
    return v;
}

void CPracticeSheet::FillEnvironment() {
    m_envList->clear();
    for (size_t row = 0; row < m_environ.RowCount(); ++row)
        m_envList->addTopLevelItem(new QTreeWidgetItem({suite::FromCp1252(m_environ.Row(row).m_Variable),
                                                        suite::FromCp1252(m_environ.Row(row).m_Value)}));
}

bool CPracticeSheet::SetVariable() {
    std::string error;
    if (!m_environ.Set(Text(m_variable), Text(m_value), error)) {
        Warn("Invalid field", error);
        return false;
    }
    m_variable->clear();
    m_value->clear();
    FillEnvironment();
    return true;
}

void CPracticeSheet::Browse(QLineEdit* edit, const char* title) {
    QString start = edit->text().trimmed();
    if (start.endsWith('/') && start.size() > 1)
        start.chop(1);
    const QString folder = QFileDialog::getExistingDirectory(this, title, start);
    if (!folder.isEmpty())
        edit->setText(folder);
}

bool CPracticeSheet::CheckPracticePage(PracticePageValues& v) {
    v = ReadPage();
    const PageCheck check = CheckPage(v);
    // The trimmed texts go back into the fields whether or not they pass.
    m_name->setText(suite::FromCp1252(v.name));
    m_host->setText(suite::FromCp1252(v.host));
    m_data->setText(suite::FromCp1252(v.sorelData));
    m_progs->setText(suite::FromCp1252(v.sorelProgs));
    if (check.Ok())
        return true;
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(0);
    }
    Warn(check.caption, check.message);
    QLineEdit* focus = check.field == PageField::Host         ? m_host
                       : check.field == PageField::Name       ? m_name
                       : check.field == PageField::SorelData  ? m_data
                       : check.field == PageField::SorelProgs ? m_progs
                       : check.field == PageField::Port       ? m_port
                       : check.field == PageField::Printer    ? m_printer
                       : check.field == PageField::Terminal   ? m_terminal
                                                              : m_billServ;
    focus->setFocus();
    return false;
}

void CPracticeSheet::accept() {
    PracticePageValues v;
    if (!CheckPracticePage(v))
        return;
    if (m_environShown && (!m_variable->text().isEmpty() || !m_value->text().isEmpty())) {
        CDangerDlg danger(m_variable->text(), m_value->text(), this);
        const int answer = danger.exec();
        // Closed by the window manager: as Cancel, nothing is lost.
        if (answer != CDangerDlg::kYes && answer != CDangerDlg::kNo)
            return;
        if (answer == CDangerDlg::kYes && !SetVariable())
            return;  // refused: the sheet stays open with the message
    }
    StorePage(v, m_practice);
    m_practice.m_Environment = m_environ.Entries();
    QDialog::accept();
}

}  // namespace selector
