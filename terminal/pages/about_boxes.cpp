// The editions' about boxes.
#include "terminal/pages/about_boxes.h"

#include <memory>

namespace terminal::pages {

suite::AboutTexts EditionTexts(AboutEdition edition) {
    switch (edition) {
        case AboutEdition::Varnel:
            return {QStringLiteral("Varnel"),
                    QStringLiteral("Carrowline client for practices on a remote host")};
        case AboutEdition::Ostrel:
            return {QStringLiteral("Ostrel"),
                    QStringLiteral("Carrowline client for practices on this computer")};
        case AboutEdition::Quillet:
            break;
    }
    return {QStringLiteral("Quillet"), QStringLiteral("Carrowline terminal control")};
}

void RunAboutBox(AboutEdition edition, QWidget* parent) {
    std::unique_ptr<suite::CAboutDlg> box;
    switch (edition) {
        case AboutEdition::Varnel:
            box = std::make_unique<CAboutVarnel>(parent);
            break;
        case AboutEdition::Ostrel:
            box = std::make_unique<CAboutOstrel>(parent);
            break;
        case AboutEdition::Quillet:
            box = std::make_unique<CAboutQuillet>(parent);
            break;
    }
    box->exec();
}

}  // namespace terminal::pages
