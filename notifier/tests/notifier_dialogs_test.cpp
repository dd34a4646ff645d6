// Offscreen tests of the notifier's popup and prompts: the word each button, Escape and close give, the
// prompt titles, the percent text's colour and the bar's clamping, and the view's hide timer.
#include "notifier/qt/notifier_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>

namespace notifier {
namespace {

struct AnswerCase {
    std::string buttons;
    int id;
    std::vector<std::string> words;
};

const AnswerCase kAnswerCases[] = {
    {"MB_OK", 134, {"OK"}},
    {"MB_OKCANCEL", 135, {"OK", "CANCEL"}},
    {"MB_RETRYCANCEL", 136, {"RETRY", "CANCEL"}},
    {"MB_YESNO", 137, {"YES", "NO"}},
    {"MB_YESNOCANCEL", 138, {"YES", "NO", "CANCEL"}},
    {"MB_ICONHAND", 134, {"OK"}},
};

TEST(PromptDialogTest, EachButtonGivesItsWordOnce) {
    for (const auto& c : kAnswerCases) {
        for (const auto& word : c.words) {
            std::vector<std::string> answers;
            PromptDialog dialog(c.buttons, "Caption", "Text", 0, QPixmap(),
                                [&](const char* w) { answers.push_back(w); });
            EXPECT_EQ(dialog.objectName(), QString::number(c.id));
            EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), static_cast<qsizetype>(c.words.size()));
            dialog.show();
            auto* button = dialog.findChild<QPushButton*>(QString::fromStdString(word));
            ASSERT_NE(button, nullptr) << c.buttons << " " << word;
            button->click();
            button->click();
            EXPECT_EQ(answers, std::vector<std::string>{word}) << c.buttons;
            EXPECT_FALSE(dialog.isVisible());
        }
    }
}

TEST(PromptDialogTest, EscapeAndCloseAnswerCancelForEveryKind) {
    for (const auto& c : kAnswerCases) {
        for (const bool escape : {true, false}) {
            std::vector<std::string> answers;
            PromptDialog dialog(c.buttons, "C", "T", 0, QPixmap(),
                                [&](const char* w) { answers.push_back(w); });
            dialog.show();
            if (escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
            EXPECT_EQ(answers, std::vector<std::string>{"CANCEL"})
                << c.buttons << (escape ? " escape" : " close");
        }
    }
}

TEST(PromptDialogTest, TitleShowsThePercentWhenNotZero) {
    PromptDialog atZero("MB_OK", "Upgrade", "T", 0, QPixmap(), {});
    EXPECT_EQ(atZero.windowTitle(), "Upgrade");
    PromptDialog at35("MB_OK", "Upgrade", "T", 35, QPixmap(), {});
    EXPECT_EQ(at35.windowTitle(), "Upgrade (35% complete)");
}

TEST(ProgressPopupTest, PercentTextColourAndBar) {
    struct Case {
        std::string text;
        int bar;
        QString label;
        QColor colour;
    };
    const Case cases[] = {
        {"45", 45, "45%", Qt::black},
        {"46", 46, "46%", Qt::white},
        {"150", 100, "150%", Qt::white},
        {"-5", 0, "-5%", Qt::black},
        {"12 of 40", 12, "12 of 40%", Qt::black},
        {"x", 0, "x%", Qt::black},
        {"99999999999", 100, "99999999999%", Qt::white},
    };
    ProgressPopup popup;
    for (const auto& c : cases) {
        popup.SetProgressPercent(c.text);
        EXPECT_EQ(popup.Bar()->value(), c.bar) << c.text;
        EXPECT_EQ(popup.PercentLabel()->text(), c.label) << c.text;
        EXPECT_EQ(popup.PercentLabel()->palette().color(QPalette::WindowText), c.colour) << c.text;
    }
}

TEST(ProgressPopupTest, OkCancelAndCloseHide) {
    ProgressPopup popup;
    for (int way = 0; way < 3; ++way) {
        popup.SetTexts("a", "b");
        ASSERT_TRUE(popup.isVisible());
        if (way == 0)
            popup.accept();
        if (way == 1)
            QTest::keyClick(&popup, Qt::Key_Escape);
        if (way == 2)
            popup.close();
        EXPECT_FALSE(popup.isVisible()) << way;
    }
}

TEST(QtNotifierViewTest, HidePopupAfterIsATimerAndPromptTextGetsLineBreaks) {
    QtNotifierView view;
    view.CreatePopup();
    view.SetPopupTexts("one", "two");
    view.HidePopupAfter(50);
    EXPECT_TRUE(view.Popup()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!view.Popup()->isVisible(), 2000);
    EXPECT_FALSE(view.MainWindow().isVisible());
    EXPECT_EQ(view.MainWindow().windowTitle(), "PelloryTray");

    view.ShowPromptDialog("MB_YESNO", "Cap", "line1\\nline2");
    ASSERT_NE(view.Prompt(), nullptr);
    auto* text = view.Prompt()->findChild<QLabel*>("1017");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "line1\nline2");
    view.DismissDialog();
    EXPECT_EQ(view.Prompt(), nullptr);
}

TEST(QtNotifierViewTest, ChangeProductShowsItsImageTextAndTitle) {
    struct Case {
        std::string product;
        int image;
    };
    const Case cases[] = {{"Vask", 160}, {"Carrowline", 159}, {"carrowline", 155}, {"", 155}};
    QtNotifierView view;
    view.CreatePopup();
    for (const auto& c : cases) {
        view.ChangeProduct("Product \xe9 text", c.product, "Title " + c.product);
        ProgressPopup* popup = view.Popup();
        EXPECT_TRUE(popup->isVisible()) << c.product;
        EXPECT_EQ(popup->windowTitle(), QString::fromStdString("Title " + c.product));
        auto* text = popup->findChild<QLabel*>("1028");
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), QString::fromUtf8("Product \u00e9 text"));
        auto* image = popup->findChild<QLabel*>("1030");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->pixmap().toImage(), ProductImage(c.image).toImage()) << c.product;
    }
    // The prompts keep their own image whatever the product.
    view.ShowPromptDialog("MB_OK", "Cap", "Text");
    auto* promptImage = view.Prompt()->findChild<QLabel*>("1030");
    ASSERT_NE(promptImage, nullptr);
    EXPECT_EQ(promptImage->pixmap().toImage(), ProductImage(159).toImage());
    view.DismissDialog();
}

}  // namespace
}  // namespace notifier
