// The control's menus in a frame of our own: the Edit and custom menus merged into the frame's bar and taken
// out again, the prompt table for custom menus of 16, 25 and 40 items, the right-click menu, the custom menu
// commands, a screen selection dragged with the mouse and copied, paste with and without an open field, the
// field editor's context menu and the custom menu editor with its file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/dispatch_object.h"
#include "platform/user_prompt.h"
#include "terminal/control/tests/session_fakes.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/quillet_frame_site.h"
#include "terminal/quillet/quillet_menus.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "testsupport/test_support.h"
#include "tools/custom_menu/custom_file.h"
#include "tools/custom_menu/custom_menu_dlg.h"

namespace terminal {
namespace {

using namespace platform::automation;

constexpr int kSafetyNetMs = 10000;

// A frame window with File, View and Help, as the container has, recording what the control asks of it.
class FakeFrame : public QWidget, public InPlaceFrame {
    Q_OBJECT
    Q_INTERFACES(quillet::InPlaceFrame)

  public:
    FakeFrame() {
        for (const char* title : {"&File", "&View", "&Help"}) {
            m_own.push_back(std::make_unique<QMenu>(QString::fromLatin1(title)));
        }
        SetMenu(nullptr);
    }
    void InsertMenus(QMenu& shared, MenuGroupWidths& widths) override {
        for (const auto& menu : m_own) {
            shared.addMenu(menu.get());
        }
        widths[0] = widths[2] = widths[4] = 1;
    }
    void SetMenu(QMenu* shared) override {
        m_bar.clear();
        if (shared == nullptr) {
            for (const auto& menu : m_own) {
                m_bar.push_back(menu->menuAction());
            }
        } else {
            const QList<QAction*> actions = shared->actions();
            m_bar.assign(actions.begin(), actions.end());
        }
        ++m_setMenuCalls;
    }
    void RemoveMenus(QMenu& shared) override {
        for (const auto& menu : m_own) {
            shared.removeAction(menu->menuAction());
        }
    }
    void SetStatusText(std::string_view text) override { m_status.emplace_back(text); }
    void keyPressEvent(QKeyEvent* event) override {
        m_keys.push_back(event->key());
        QWidget::keyPressEvent(event);
    }

    QStringList BarTitles() const {
        QStringList titles;
        for (QAction* action : m_bar) {
            titles << action->text();
        }
        return titles;
    }
    QMenu* BarMenu(const QString& title) const {
        for (QAction* action : m_bar) {
            if (action->text() == title) {
                return action->menu();
            }
        }
        return nullptr;
    }

    std::vector<std::unique_ptr<QMenu>> m_own;
    std::vector<QAction*> m_bar;
    std::vector<std::string> m_status;
    std::vector<int> m_keys;  // keys that reached the frame
    int m_setMenuCalls = 0;
};

// What the container would see of the PopupMenu event while it runs.
struct PopupSeen {
    int x = 0;
    int y = 0;
    int firstId = 0;
    int lastId = 0;
    void* controlWindow = nullptr;
    std::vector<int> ids;  // 0 for a separator
};

class EventSink : public IDispatch {
  public:
    HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant> args, Variant*,
                   InvokeError*) override {
        if (dispid == static_cast<DISPID>(QuilletEvent::ShowContainer)) {
            // The container is up: the control's connect goes on.
            const uint64_t one = 1;
            EXPECT_EQ(::write(args[0].AsI4(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
        } else if (dispid == static_cast<DISPID>(QuilletEvent::SetMenuStrings)) {
            m_tables.push_back(args[0].AsPointer<const MenuStringEntry>(kMenuStringEntryTag));
        } else if (dispid == static_cast<DISPID>(QuilletEvent::PopupMenu)) {
            const auto* data = args[0].AsPointer<const PopupMenuData>(kPopupMenuDataTag);
            PopupSeen seen{data->x, data->y, data->firstId, data->lastId, data->controlWindow, {}};
            for (QAction* action : static_cast<QMenu*>(data->menu)->actions()) {
                seen.ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
            }
            m_popups.push_back(seen);
        }
        return S_OK;
    }
    std::vector<const MenuStringEntry*> m_tables;
    std::vector<PopupSeen> m_popups;
};

practice::CCustomMenuItemArray NumberedItems(int count) {
    practice::CCustomMenuItemArray items;
    for (int i = 0; i < count; ++i) {
        items.Add(practice::CCustomMenuItem("Item " + std::to_string(i), "/c" + std::to_string(i), 0));
    }
    return items;
}

class MenusCtrlTest : public testing::CtrlTest {
  protected:
    void SetUp() override {
        testsupport::RegistryTest::SetUp();
        ModuleCustomFile().Reset();
        StartControl();
        m_frame = std::make_unique<FakeFrame>();
        m_control->Window()->setParent(m_frame.get());
        m_frame->resize(820, 600);
        m_control->Window()->resize(820, 600);
        m_frame->show();
        m_sink = std::make_shared<EventSink>();
        testing::AdviseEvents(*m_control, m_sink);
        Menus().SetDialogRunner([](tools::CCustomMenuDlg&) {
            ADD_FAILURE() << "unexpected editor";
            return false;
        });
        QApplication::clipboard()->clear();
    }
    void TearDown() override {
        if (m_control && m_control->Window() != nullptr) {
            m_control->Window()->setParent(nullptr);
        }
        m_control.reset();
        m_frame.reset();
        CtrlTest::TearDown();
    }

    CQuilletMenus& Menus() { return m_control->Menus(); }
    // Records `items` in a .cmf file named in the registry.
    void UseMenuFile(const practice::CCustomMenuItemArray& items) {
        const std::filesystem::path path = m_temp.Path() / "menu.cmf";
        const std::vector<uint8_t> bytes = tools::FormatCustomMenuFile(items);
        testsupport::WriteFile(path, std::string(bytes.begin(), bytes.end()));
        ASSERT_EQ(tools::CCustomFile::SetConfigFilePath(path.string()), 0);
    }
    // A local session on a scripted line, in the container (InVarnel) unless told otherwise.
    std::shared_ptr<testing::FakeLine> Connect(bool inVarnel = true) {
        Put("InVarnel", Variant::Bool(inVarnel));
        Put("Connector", Variant::Bstr("local"));
        EXPECT_EQ(Call("Connect").AsI4(), 0);
        return LastLine();
    }
    bool WaitWritten(testing::FakeLine& line, const std::string& bytes) {
        return QTest::qWaitFor([&] { return line.Written() == bytes; }, kSafetyNetMs);
    }
    std::vector<int> CustomIds() {
        std::vector<int> ids;
        for (QAction* action : Menus().CustomPopup()->actions()) {
            ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
        }
        return ids;
    }

    std::unique_ptr<FakeFrame> m_frame;
    std::shared_ptr<EventSink> m_sink;
};

TEST(MenuStringTable, AlwaysEndsWithItsZeroEntry) {
    const struct {
        int items;
        size_t customPrompts;
    } cases[] = {{0, 0}, {16, 16}, {25, 25}, {26, 25}, {40, 25}};
    for (const auto& c : cases) {
        CMenuStringTable table;
        table.Build(NumberedItems(c.items));
        ASSERT_EQ(table.Count(), c.customPrompts + kEditPrompts) << c.items;
        ASSERT_LT(table.Count(), kMaxMenuStrings) << c.items;
        EXPECT_EQ(table.Data()[table.Count()].id, 0) << c.items;
        for (size_t i = 0; i < c.customPrompts; ++i) {
            EXPECT_EQ(table.Data()[i].id, 10000 + static_cast<int>(i));
            EXPECT_STREQ(table.Data()[i].text, ("Item " + std::to_string(i)).c_str());
        }
        const MenuStringEntry* edit = table.Data() + c.customPrompts;
        EXPECT_EQ(edit[0].id, 57634);
        EXPECT_STREQ(edit[0].text, "Copy the selection and put it on the Clipboard\nCopy");
        EXPECT_EQ(edit[1].id, 57637);
        EXPECT_EQ(edit[2].id, 1032);
        EXPECT_STREQ(edit[2].text, "Select Display Font");
        EXPECT_EQ(edit[3].id, 1033);
        EXPECT_STREQ(edit[3].text, "Configure custom pop-up and pull-down menus");
    }
}

TEST_F(MenusCtrlTest, ConnectingInTheContainerMergesEditAndCustomMenus) {
    auto line = Connect();
    ASSERT_TRUE(line);
    ASSERT_TRUE(Menus().IsMerged());
    EXPECT_EQ(m_frame->BarTitles(), (QStringList{"&File", "&Edit", "&View", "&Windows", "&Help"}));

    QStringList edit;
    for (QAction* action : m_frame->BarMenu("&Edit")->actions()) {
        edit << (action->isSeparator() ? QString("-") : action->text());
    }
    EXPECT_EQ(edit, (QStringList{"&Copy\tCtrl-Ins", "&Paste\tShift-Ins", "-", "Set &Font", "Custom &Menu"}));

    // No menu file: the sixteen defaults, ids by position, the separator holding its place.
    const std::vector<int> ids = CustomIds();
    ASSERT_EQ(ids.size(), 16u);
    EXPECT_EQ(ids[0], 10000);
    EXPECT_EQ(ids[9], 0);
    EXPECT_EQ(ids[15], 10015);
    EXPECT_EQ(m_frame->BarMenu("&Windows")->actions()[12]->text(), "Vellumo");

    ASSERT_EQ(m_sink->m_tables.size(), 1u);
    EXPECT_EQ(m_sink->m_tables[0], Menus().Strings().Data()) << "the container keeps the control's own table";
    EXPECT_EQ(Menus().Strings().Count(), 20u);
    EXPECT_STREQ(m_sink->m_tables[0][0].text, "Appointments");

    // The prompts show on the frame's status line, up to their line break.
    emit m_frame->BarMenu("&Edit")->hovered(m_frame->BarMenu("&Edit")->actions()[0]);
    emit m_frame->BarMenu("&Windows")->hovered(m_frame->BarMenu("&Windows")->actions()[1]);
    EXPECT_EQ(m_frame->m_status, (std::vector<std::string>{"Copy the selection and put it on the Clipboard",
                                                           "Display Patient"}));

    // Taken out again when the control goes: the frame has its own bar back.
    m_control->Window()->setParent(nullptr);
    m_control.reset();
    EXPECT_EQ(m_frame->BarTitles(), (QStringList{"&File", "&View", "&Help"}));
}

TEST_F(MenusCtrlTest, CustomMenusOfManyItemsStayWithinTheTableAndTheRoutedIds) {
    for (int count : {16, 25, 40}) {
        SCOPED_TRACE(count);
        UseMenuFile(NumberedItems(count));
        Menus().SetUpMenu(3);
        Put("InVarnel", Variant::Bool(true));
        Menus().SetUpMenu(1);
        ASSERT_TRUE(Menus().IsMerged());
        const MenuStringEntry* table = m_sink->m_tables.back();
        size_t entries = 0;
        while (entries < kMaxMenuStrings && table[entries].id != 0) {
            ++entries;
        }
        ASSERT_LT(entries, kMaxMenuStrings) << "the 0 entry is inside the table";
        EXPECT_EQ(entries, std::min<size_t>(count, 25) + 4);
        EXPECT_EQ(table[entries - 1].id, 1033);

        const QList<QAction*> actions = Menus().CustomPopup()->actions();
        ASSERT_EQ(actions.size(), count);
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(actions[i]->data().toInt(), 10000 + i);
            EXPECT_EQ(actions[i]->isEnabled(), i < 20) << "only ids up to 10019 reach the control";
        }
    }
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(MenusCtrlTest, ADamagedMenuFileShowsTheDefaultsAndItsMessageOnce) {
    const std::filesystem::path path = m_temp.Path() / "damaged.cmf";
    testsupport::WriteFile(path, std::string("\x05\x00\x04&Run", 7));
    ASSERT_EQ(tools::CCustomFile::SetConfigFilePath(path.string()), 0);
    auto line = Connect();
    ASSERT_TRUE(line);
    ASSERT_TRUE(Menus().IsMerged());
    EXPECT_EQ(Menus().CustomMenu().GetItems(), tools::CCustomFile::DefaultItems());
    EXPECT_EQ(CustomIds().size(), 16u);
    for (int merge = 0; merge < 3; ++merge) {
        Menus().SetUpMenu(3);
        Menus().SetUpMenu(1);
    }
    EXPECT_EQ(CustomIds().size(), 16u);
    ASSERT_EQ(m_recorder.Texts().size(), 1u);
    EXPECT_NE(m_recorder.Texts()[0].find(path.string() + " is damaged"), std::string::npos)
        << m_recorder.Texts()[0];
}

TEST_F(MenusCtrlTest, PopupMenuItemSendsTheItemsCommandAndRefusesWhatIsNoCommand) {
    auto line = Connect();
    ASSERT_TRUE(line);
    Call("PopupMenuItem", {Variant::I2(10000)});
    Call("PopupMenuItem", {Variant::I2(10015)});
    ASSERT_TRUE(WaitWritten(*line, "/app\r/vpc\r")) << line->Written();

    Call("PopupMenuItem", {Variant::I2(9999)}, InvokeKind::Method, E_INVALIDARG);
    Call("PopupMenuItem", {Variant::I2(10020)}, InvokeKind::Method, E_INVALIDARG);
    // Beyond the sixteen items.
    Call("PopupMenuItem", {Variant::I2(10016)}, InvokeKind::Method, E_INVALIDARG);
    Call("PopupMenuItem", {Variant::I2(10009)}, InvokeKind::Method, E_INVALIDARG);  // the separator

    // Chosen from the menu bar, the entry goes the same way.
    m_control->SetChainable(1);
    Menus().CustomPopup()->actions()[6]->trigger();
    ASSERT_TRUE(WaitWritten(*line, "/app\r/vpc\r/pat\r")) << line->Written();
}

TEST_F(MenusCtrlTest, RightButtonOffersTheCustomMenuToTheContainer) {
    auto line = Connect();
    ASSERT_TRUE(line);
    QWidget* screen = m_control->Terminal();
    const QPoint at(100, 120);
    QTest::mouseClick(screen, Qt::RightButton, Qt::NoModifier, at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_sink->m_popups.empty(); }, kSafetyNetMs));
    const PopupSeen& seen = m_sink->m_popups[0];
    EXPECT_EQ(QPoint(seen.x, seen.y), screen->mapToGlobal(at));
    EXPECT_EQ(seen.firstId, 10000);
    EXPECT_EQ(seen.lastId, 10019);
    EXPECT_EQ(seen.controlWindow, m_control->Window());
    EXPECT_EQ(seen.ids, CustomIds());
    EXPECT_EQ(m_frame->m_status.back(), "Ready");
    EXPECT_EQ(line->Written(), "") << "tracking the menu sends nothing by itself";
}

TEST_F(MenusCtrlTest, OutsideTheContainerThereAreNoMenus) {
    auto line = Connect(false);
    ASSERT_TRUE(line);
    EXPECT_FALSE(Menus().IsMerged());
    EXPECT_EQ(m_frame->m_setMenuCalls, 1) << "only the frame's own set-up";
    QTest::mouseClick(m_control->Terminal(), Qt::RightButton, Qt::NoModifier, QPoint(50, 50));
    QTest::qWait(20);
    EXPECT_TRUE(m_sink->m_popups.empty());
    Call("EditCustomMenu");  // the runner would fail the test
}

TEST_F(MenusCtrlTest, WithoutAFrameTheMergeIsRefused) {
    m_control->Window()->setParent(nullptr);
    auto line = Connect();
    ASSERT_TRUE(line);
    EXPECT_FALSE(Menus().IsMerged());
    EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{"SetUpMenu: Failed to get in place frame."});
}

TEST_F(MenusCtrlTest, CopyTakesTheScreenSelectionThroughCodePage437) {
    auto line = Connect();
    ASSERT_TRUE(line);
    line->Feed("Hello from the host\r\nsecond line\r\n\xc5\xb0 box");
    CTerminalWidget* screen = m_control->Terminal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen->Screen().CharAt(2, 0) == 0xC5; }, kSafetyNetMs));
    const CTerminalScreen& model = screen->Screen();
    const CellSize cell = model.GetCellSize();
    ASSERT_GT(cell.width, 0);

    // Three quarters into a cell: the band rounds to the nearer cell edge.
    auto at = [&](int column, int row) {
        return QPoint(model.CellX(column) + cell.width * 3 / 4, model.CellY(row) + cell.height * 3 / 4);
    };
    auto mouse = [&](QEvent::Type type, QPoint point, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, point, screen->mapToGlobal(point), button, held, Qt::NoModifier);
        QApplication::sendEvent(screen, &event);
    };
    // A click that stays in its cell selects nothing.
    mouse(QEvent::MouseButtonPress, at(0, 0), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, at(0, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(Menus().Tracker().IsActive());

    mouse(QEvent::MouseButtonPress, at(0, 0), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, at(2, 1), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, at(4, 2), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, at(4, 2), Qt::LeftButton, Qt::NoButton);
    ASSERT_TRUE(Menus().Tracker().IsActive());
    QWidget* shown = nullptr;
    for (QWidget* child : screen->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isVisible() && child->testAttribute(Qt::WA_TransparentForMouseEvents)) {
            shown = child;
        }
    }
    ASSERT_NE(shown, nullptr) << "the band is on the screen";
    EXPECT_EQ(shown->geometry(),
              QRect(QPoint(model.CellX(0), model.CellY(0)), QPoint(model.CellX(5) - 1, model.CellY(3) - 1)));

    Call("EditCopy");
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("Hello\nsecon\n\u253c\u2591 bo"));

    // Ctrl+Insert on the screen is the same command, and nothing for the host. The click in one cell was
    // reported through the key sender, which may still be writing it.
    ASSERT_TRUE(WaitWritten(*line, "\x1B[~ 0, 0,1")) << line->Written();
    const std::string written = line->Written();
    QApplication::clipboard()->clear();
    QTest::keyClick(screen, Qt::Key_Insert, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return !QApplication::clipboard()->text().isEmpty(); }, kSafetyNetMs));
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("Hello\nsecon\n\u253c\u2591 bo"));
    EXPECT_EQ(line->Written(), written);

    // What the host writes next may change those cells: the band goes before it is drawn.
    line->Feed("more");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Menus().Tracker().IsActive(); }, kSafetyNetMs));
    EXPECT_FALSE(shown->isVisible());
}

TEST_F(MenusCtrlTest, AKeyTheScreenLeavesReachesTheContainerOnce) {
    auto line = Connect();
    ASSERT_TRUE(line);
    QTest::keyClick(m_control->Terminal(), Qt::Key_Control);
    EXPECT_EQ(m_frame->m_keys, std::vector<int>{Qt::Key_Control});
    EXPECT_EQ(line->Written(), "");
}

TEST_F(MenusCtrlTest, PasteWithoutAFieldTypesTheClipboardToTheHost) {
    auto line = Connect();
    ASSERT_TRUE(line);
    Call("EditPaste");
    QTest::qWait(20);
    EXPECT_EQ(line->Written(), "") << "an empty clipboard sends nothing";

    QApplication::clipboard()->setText(QString::fromUtf8("Caf\u00e9\n2"));
    Call("EditPaste");
    ASSERT_TRUE(WaitWritten(*line, "Caf\x82\r\n2")) << line->Written();

    QApplication::clipboard()->setText("x");
    QTest::keyClick(m_control->Terminal(), Qt::Key_Insert, Qt::ShiftModifier);
    ASSERT_TRUE(WaitWritten(*line, "Caf\x82\r\n2x")) << line->Written();
}

TEST_F(MenusCtrlTest, PasteWithAnOpenFieldGoesIntoTheField) {
    auto line = Connect();
    ASSERT_TRUE(line);
    CFieldEdit* field = OpenField(*line, "in");
    ASSERT_NE(field, nullptr);
    const std::string before = line->Written();
    QApplication::clipboard()->setText("12");
    Call("EditPaste");
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->Model().Text() == "12in"; }, kSafetyNetMs))
        << field->Model().Text();
    EXPECT_TRUE(field->Model().IsOpen());
    EXPECT_EQ(line->Written(), before) << "the field keeps the text until it ends";

    // Copy with an open field and no screen selection copies the field's selection.
    field->Model().SetSelection(0, 2);
    QApplication::clipboard()->clear();
    Call("EditCopy");
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::clipboard()->text() == "12"; }, kSafetyNetMs));
}

TEST_F(MenusCtrlTest, TheFieldsContextMenuActsOnTheField) {
    auto line = Connect();
    ASSERT_TRUE(line);
    CFieldEdit* field = OpenField(*line);
    ASSERT_NE(field, nullptr);
    std::vector<std::pair<QString, bool>> offered;
    int choose = 0;
    Menus().SetMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
        offered.clear();
        QAction* chosen = nullptr;
        for (QAction* action : menu.actions()) {
            if (!action->isSeparator()) {
                offered.emplace_back(action->text(), action->isEnabled());
                if (action->data().toInt() == choose) {
                    chosen = action;
                }
            }
        }
        return chosen;
    });

    choose = kEditorSelectAllCommand;
    emit field->contextMenuRequested("000001", QPoint(10, 10));
    const std::vector<std::pair<QString, bool>> expected = {{"&Undo", true},    {"Cu&t", false},
                                                            {"&Copy", false},   {"&Paste", false},
                                                            {"&Delete", false}, {"Select &All", true}};
    EXPECT_EQ(offered, expected);
    EXPECT_EQ(field->selectedText(), "init");

    choose = kEditorCopyCommand;
    emit field->contextMenuRequested("011011", QPoint(10, 10));
    EXPECT_EQ(QApplication::clipboard()->text(), "init");

    // A disabled entry does nothing, and a short flag text is refused.
    choose = kEditorDeleteCommand;
    emit field->contextMenuRequested("011001", QPoint(10, 10));
    emit field->contextMenuRequested("01111", QPoint(10, 10));
    EXPECT_EQ(field->Model().Text(), "init");
}

TEST_F(MenusCtrlTest, TheEditorChangesTheMenuAndItsFile) {
    auto line = Connect();
    ASSERT_TRUE(line);
    const std::filesystem::path path = m_temp.Path() / "mine.cmf";
    Menus().SetDialogRunner([&](tools::CCustomMenuDlg& dialog) {
        EXPECT_EQ(dialog.Items(), tools::CCustomFile::DefaultItems());
        EXPECT_EQ(dialog.Path(), "");
        QTest::mouseClick(dialog.findChild<QPushButton*>("add"), Qt::LeftButton);
        dialog.SetPath(path.string());
        return true;
    });
    Call("EditCustomMenu");
    EXPECT_TRUE(Menus().IsMerged());
    EXPECT_EQ(CustomIds().size(), 17u);
    EXPECT_EQ(Menus().CustomPopup()->actions()[16]->text(), "New Menu Item");
    EXPECT_EQ(m_sink->m_tables.size(), 2u);
    EXPECT_STREQ(Menus().Strings().Data()[16].text, "New Menu Item");
    EXPECT_EQ(m_frame->BarTitles(), (QStringList{"&File", "&Edit", "&View", "&Windows", "&Help"}));

    std::string recorded;
    ASSERT_EQ(tools::CCustomFile::GetConfigFilePath(recorded), 0);
    EXPECT_EQ(recorded, path.string());
    tools::CCustomFile reread;
    std::string error;
    ASSERT_EQ(reread.LoadFile(path, error), tools::CCustomFile::FileStatus::Read) << error;
    EXPECT_EQ(reread.GetSize(), 17u);

    // Through the Edit menu, and a file that cannot be written.
    const std::filesystem::path folder = m_temp.Path() / "a folder.cmf";
    std::filesystem::create_directories(folder);
    Menus().SetDialogRunner([&](tools::CCustomMenuDlg& dialog) {
        dialog.SetPath(folder.string());
        return true;
    });
    m_frame->BarMenu("&Edit")->actions()[4]->trigger();
    EXPECT_EQ(m_recorder.Texts(),
              std::vector<std::string>{"Failed to save menu configuration file to " + folder.string()});
    EXPECT_EQ(CustomIds().size(), 17u) << "the edited list stays in use";

    // Cancel changes nothing.
    Menus().SetDialogRunner([](tools::CCustomMenuDlg& dialog) {
        QTest::mouseClick(dialog.findChild<QPushButton*>("separator"), Qt::LeftButton);
        return false;
    });
    Call("EditCustomMenu");
    EXPECT_EQ(CustomIds().size(), 17u);
}

TEST_F(MenusCtrlTest, TheEditorOutlivesTheControlLetGoWhileItIsOpen) {
    auto line = Connect();
    ASSERT_TRUE(line);
    const std::filesystem::path path = m_temp.Path() / "kept.cmf";
    std::weak_ptr<CQuilletCtrl> weak = m_control;
    CQuilletCtrl* control = m_control.get();
    Menus().SetDialogRunner([&](tools::CCustomMenuDlg& dialog) {
        m_control.reset();  // the container's last reference
        QTest::mouseClick(dialog.findChild<QPushButton*>("add"), Qt::LeftButton);
        dialog.SetPath(path.string());
        return true;
    });
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(control->GetIDOfName("EditCustomMenu", id), S_OK);
    EXPECT_EQ(control->Invoke(id, InvokeKind::Method, {}, nullptr, nullptr), S_OK);
    EXPECT_FALSE(weak.expired());
    tools::CCustomFile reread;
    std::string error;
    ASSERT_EQ(reread.LoadFile(path, error), tools::CCustomFile::FileStatus::Read) << error;
    EXPECT_EQ(reread.GetSize(), 17u) << "the edit made before the release is saved";
    EXPECT_TRUE(QTest::qWaitFor([&weak] { return weak.expired(); }, kSafetyNetMs));
}

TEST_F(MenusCtrlTest, TheEditorEndsQuietlyWhenTheWindowGoesWhileItIsOpen) {
    auto line = Connect();
    ASSERT_TRUE(line);
    Menus().SetDialogRunner([&](tools::CCustomMenuDlg&) {
        m_frame.reset();  // deletes the control's window, and the dialog over it
        return true;
    });
    Call("EditCustomMenu");
    EXPECT_FALSE(Menus().IsMerged());
    EXPECT_EQ(m_control->Window(), nullptr);
    EXPECT_TRUE(m_recorder.Texts().empty()) << m_recorder.Texts().front();
}

}  // namespace
}  // namespace terminal

#include "menus_ctrl_test.moc"
