// The shared about box: the product's version line and title, the line it shows without version
// information, and the buttons that open the maker's addresses through the opener in place.
#include "suite/qt/about_box.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <vector>

namespace suite {
namespace {

TEST(AboutBox, ShowsTheProductsVersionAndOpensTheMakersPages) {
    const AboutTexts texts{QStringLiteral("Korrin"), QStringLiteral("Practice selector")};
    CAboutDlg box(texts, CVersionInfo(FileVersion{4, 2, 1, 57}), nullptr);
    EXPECT_EQ(box.VersionLabel()->text(), "Korrin Version 04.02.01 Build 57");
    EXPECT_EQ(box.VersionText(), box.VersionLabel()->text());
    EXPECT_EQ(box.windowTitle(), "About Korrin");
    CAboutDlg none(texts, CVersionInfo(std::nullopt), nullptr);
    EXPECT_EQ(none.VersionLabel()->text(), "Korrin Version <no version info found>");

    std::vector<QUrl> opened;
    const UrlOpener previous = SetUrlOpener([&opened](const QUrl& url) { opened.push_back(url); });
    EXPECT_FALSE(previous);
    EXPECT_EQ(box.ContactUsButton()->text(), "Contact Us");
    EXPECT_EQ(box.SupportButton()->text(), "Support");
    box.ContactUsButton()->click();
    box.SupportButton()->click();
    OpenUrl(QUrl(QStringLiteral("https://example.org/help")));
    SetUrlOpener(nullptr);
    EXPECT_EQ(opened, (std::vector<QUrl>{QUrl("https://www.carrowline.com/"),
                                         QUrl("https://www.carrowline.com/customer-login"),
                                         QUrl("https://example.org/help")}));
}

}  // namespace
}  // namespace suite
