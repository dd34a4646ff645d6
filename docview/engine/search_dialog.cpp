// The search dialog: text, case, direction and where the first search starts; every "Find Next" after the
// first goes on from the match it selected.
#include "docview/engine/search_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

namespace docview::engine {

int64_t RunSearchDialog(QWidget* parent, TextFinder& finder, SearchTarget& target, const SearchQuery& first,
                        const std::function<void(bool)>& enableHost) {
    // On the heap: a host that deletes the view while the dialog is up deletes the dialog with it.
    QPointer<QDialog> dialog = new QDialog(parent);
    dialog->setWindowTitle(QStringLiteral("Search"));
    auto* text = new QLineEdit(first.text, dialog);
    text->setObjectName(QStringLiteral("text"));
    text->setMaxLength(79);
    auto* matchCase = new QCheckBox(QStringLiteral("Match case"), dialog);
    matchCase->setObjectName(QStringLiteral("matchCase"));
    matchCase->setChecked(first.matchCase);
    auto* from = new QComboBox(dialog);
    from->setObjectName(QStringLiteral("from"));
    from->addItem(QStringLiteral("Start of document"), int{LYDVW_SEARCH_FROM_TOP});
    from->addItem(QStringLiteral("Selection"), int{LYDVW_SEARCH_FROM_SELECTION});
    from->addItem(QStringLiteral("Current page"), int{LYDVW_SEARCH_FROM_PAGE});
    from->setCurrentIndex(std::max(0, from->findData(int{first.from})));
    auto* up = new QRadioButton(QStringLiteral("Up"), dialog);
    up->setObjectName(QStringLiteral("up"));
    auto* down = new QRadioButton(QStringLiteral("Down"), dialog);
    down->setObjectName(QStringLiteral("down"));
    (first.forward ? down : up)->setChecked(true);
    auto* status = new QLabel(dialog);
    status->setObjectName(QStringLiteral("status"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QPushButton* find = buttons->addButton(QStringLiteral("Find Next"), QDialogButtonBox::ActionRole);
    find->setObjectName(QStringLiteral("find"));
    find->setDefault(true);
    find->setEnabled(!first.text.isEmpty());
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(text, &QLineEdit::textChanged, find,
                     [find](const QString& now) { find->setEnabled(!now.isEmpty()); });

    int64_t answer = LYDVW_E_CANCELLED;
    bool searched = false;
    QObject::connect(find, &QPushButton::clicked, dialog, [&] {
        SearchQuery query;
        query.text = text->text();
        query.matchCase = matchCase->isChecked();
        query.forward = down->isChecked();
        // The first search starts where the user chose; the ones after go on from the match.
        query.from = searched ? uint16_t{LYDVW_SEARCH_FROM_SELECTION}
                              : static_cast<uint16_t>(from->currentData().toInt());
        searched = true;
        from->setEnabled(false);
        answer = finder.Search(target, query);
        status->setText(answer == LYDVW_E_OK ? QString()
                                             : QStringLiteral("The requested item could not be found"));
    });

    auto* form = new QFormLayout(dialog);
    form->addRow(QStringLiteral("Find what:"), text);
    form->addRow(matchCase);
    form->addRow(QStringLiteral("Search from:"), from);
    form->addRow(up, down);
    form->addRow(status);
    form->addRow(buttons);
    enableHost(false);
    dialog->exec();
    delete dialog.data();
    enableHost(true);
    return answer;
}

}  // namespace docview::engine
