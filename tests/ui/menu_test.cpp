// Menus from a menu resource: state changes by command and by position, the
// results Win32 gives for missing menus and items, choosing items, the cursor.
#include "tests/ui/ui_fixture.h"

namespace {

constexpr BOOL missing = -1;

class MenuTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        resources_register_menu(
            "DurandexMenu",
            {{"&Start", 101, {}},
             {"&Drives...", 102, {}},
             {"&Pause", 104, {}},
             {"&Options",
              0,
              {{"&File Flags", 0, {{"&Normal", 130, {}}, {"&Write Through", 131, {}}, {"&Random Access", 132, {}}}},
               {"&Line Size", 0, {{"&32", 140, {}}, {"&64", 141, {}}}}}},
             {"&Quit", 100, {}}});
        ASSERT_NE(register_class("DurandexWClass", recording_proc, "DurandexMenu"), 0);
        window_ = CreateWindowExA(0, "DurandexWClass", "Durandex", 0x00CA0000 | WS_VISIBLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 400, 140, nullptr, nullptr, nullptr, nullptr);
        menu_ = GetMenu(window_);
        ASSERT_NE(menu_, nullptr);
    }

    // The bar as text: "&Start 101-" greyed, "&64 141+" checked, pop-ups in braces.
    static std::string describe(const std::vector<MenuItemView>& items)
    {
        std::string out;
        for (const MenuItemView& item : items) {
            out += item.text + (item.popup ? "{" + describe(item.items) + "}" : " " + std::to_string(item.id)) +
                   (item.greyed ? "-" : "") + (item.checked ? "+" : "") + " ";
        }
        return out;
    }
    std::string bar() const { return describe(view_of(window_).menu); }

    HWND window_ = nullptr;
    HMENU menu_ = nullptr;
};

// Greying, checking and Unpause in place of Pause are seen end to end in the
// durandex terminal tests; these pin the Win32 results and the model.
TEST_F(MenuTest, EnableCheckAndModifyGiveThePreviousStateAndShowInTheBar)
{
    EXPECT_EQ(EnableMenuItem(menu_, 101, MF_BYCOMMAND | MF_GRAYED), static_cast<BOOL>(MF_ENABLED));
    EXPECT_EQ(EnableMenuItem(menu_, 101, MF_BYCOMMAND | MF_GRAYED), static_cast<BOOL>(MF_GRAYED));
    EXPECT_EQ(EnableMenuItem(menu_, 4, MF_BYPOSITION | MF_GRAYED), static_cast<BOOL>(MF_ENABLED));
    HMENU options = GetSubMenu(menu_, 3);
    EXPECT_EQ(GetSubMenu(menu_, 0), nullptr);
    EXPECT_EQ(CheckMenuItem(options, 131, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(options, 131, MF_BYCOMMAND | MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
    EXPECT_EQ(CheckMenuItem(options, 141, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
    // A modified item keeps its id and takes the new text and state.
    ASSERT_NE(EnableMenuItem(menu_, 104, MF_GRAYED), missing);
    ASSERT_TRUE(ModifyMenuA(menu_, 2, MF_BYPOSITION | MF_STRING, 104, "U&npause"));
    EXPECT_EQ(bar(), "&Start 101- &Drives... 102 U&npause 104 &Options{&File Flags{&Normal 130 &Write Through 131 "
                     "&Random Access 132 } &Line Size{&32 140 &64 141+ } } &Quit 100- ");
    ASSERT_TRUE(DrawMenuBar(window_));
}

TEST_F(MenuTest, MissingMenusAndItemsFailQuietlyWithWin32Results)
{
    EXPECT_FAILS(EnableMenuItem(nullptr, 101, MF_GRAYED), missing, ERROR_INVALID_MENU_HANDLE);
    EXPECT_EQ(EnableMenuItem(menu_, 999, MF_GRAYED), missing);
    EXPECT_EQ(EnableMenuItem(menu_, 5, MF_BYPOSITION | MF_GRAYED), missing);
    EXPECT_FAILS(GetMenu(nullptr), nullptr, ERROR_INVALID_WINDOW_HANDLE);

    // A destroyed window takes its menu with it.
    ASSERT_TRUE(DestroyWindow(window_));
    EXPECT_EQ(EnableMenuItem(menu_, 101, MF_GRAYED), missing);
    EXPECT_FALSE(DrawMenuBar(window_));
}

TEST_F(MenuTest, ChoosingAGreyedOrMissingItemGivesNoCommandAndTheWaitCursorShowsAsBusy)
{
    EnableMenuItem(menu_, 101, MF_GRAYED);
    EXPECT_FALSE(ui_choose_menu_item(window_, 101));
    EXPECT_FALSE(ui_choose_menu_item(window_, 999));
    EXPECT_TRUE(ui_choose_menu_item(window_, 132));
    EXPECT_TRUE(ui_choose_menu_item(window_, 100));
    PostQuitMessage(0);
    MSG message;
    while (pump_one(&message)) {
    }
    EXPECT_EQ(recorded_messages(WM_COMMAND), (std::vector<UINT>{132, 100}));

    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    EXPECT_NE(arrow, wait);
    SetCursor(arrow);
    EXPECT_FALSE(ui_view().busy);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_TRUE(ui_view().busy);
    EXPECT_EQ(SetCursor(arrow), wait);
    EXPECT_FALSE(ui_view().busy);
}

}  // namespace
