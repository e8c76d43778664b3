// Menus from a menu resource: the results Win32 gives for missing menus and
// items, choosing items, the cursor. Greying, checking and Unpause in place
// of Pause are seen in the durandex terminal tests.
#include "tests/ui/ui_fixture.h"

namespace {

constexpr BOOL missing = -1;

class MenuTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        resources_register_menu("DurandexMenu", {{"&Start", 101, {}},
                                                  {"&Options", 0, {{"&Random Access", 132, {}}}},
                                                  {"&Quit", 100, {}}});
        ASSERT_NE(register_class("DurandexWClass", recording_proc, "DurandexMenu"), 0);
        window_ = CreateWindowExA(0, "DurandexWClass", "Durandex", 0x00CA0000 | WS_VISIBLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 400, 140, nullptr, nullptr, nullptr, nullptr);
        menu_ = GetMenu(window_);
        ASSERT_NE(menu_, nullptr);
    }

    HWND window_ = nullptr;
    HMENU menu_ = nullptr;
};

TEST_F(MenuTest, MissingMenusAndItemsFailQuietlyWithWin32Results)
{
    EXPECT_FAILS(EnableMenuItem(nullptr, 101, MF_GRAYED), missing, ERROR_INVALID_MENU_HANDLE);
    EXPECT_EQ(EnableMenuItem(menu_, 999, MF_GRAYED), missing);
    EXPECT_EQ(EnableMenuItem(menu_, 3, MF_BYPOSITION | MF_GRAYED), missing);
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
