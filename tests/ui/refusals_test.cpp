// The window system's refusals, pinned as a conformance suite: each refused
// call gives Win32's failure result and leaves Win32's code as last error.
#include "tests/ui/dialog_template_bytes.h"
#include "tests/ui/ui_fixture.h"

namespace {

class Refusals : public UiTest {
protected:
    // A window that has been destroyed: its handle is stale.
    static HWND stale_window()
    {
        HWND window = make_window(200, 100, "Stale");
        EXPECT_TRUE(DestroyWindow(window));
        return window;
    }
};

// The Win32 value for "no such menu item", which the SDK headers name
// ERROR_MENU_ITEM_NOT_FOUND.
constexpr DWORD menu_item_not_found = 1456;
constexpr COLORREF invalid_colour = 0xFFFFFFFF;

LRESULT CALLBACK refuse_creation(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    UiTest::recording_proc(window, message, wparam, lparam);
    return message == WM_CREATE ? -1 : 0;
}

TEST_F(Refusals, ClassesAndWindowCreation)
{
    EXPECT_FAILS(RegisterClassA(nullptr), 0, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(register_class("", DefWindowProcA), 0, ERROR_INVALID_PARAMETER);
    // Class names are matched without regard to case.
    EXPECT_FAILS(register_class("recordingWINDOW", DefWindowProcA), 0, ERROR_CLASS_ALREADY_EXISTS);
    EXPECT_FAILS(CreateWindowExA(0, "NoSuchClass", "Test", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr),
                 nullptr, ERROR_CANNOT_FIND_WND_CLASS);
    EXPECT_FAILS(CreateWindowExA(0, "RecordingWindow", "Child", WS_CHILD, 0, 0, 100, 100, stale_window(), nullptr,
                                 nullptr, nullptr),
                 nullptr, ERROR_INVALID_WINDOW_HANDLE);

    // A procedure that refuses WM_CREATE gets WM_DESTROY, and no window is left.
    ASSERT_NE(register_class("Refusing", refuse_creation), 0);
    EXPECT_FAILS(CreateWindowExA(0, "Refusing", "Refused", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr),
                 nullptr, ERROR_INVALID_WINDOW_HANDLE);
    ASSERT_FALSE(records().empty());
    const HWND refused = records().back().window;
    EXPECT_EQ(records().back().message, static_cast<UINT>(WM_DESTROY));
    EXPECT_QUIET(IsWindow(refused), FALSE);
    EXPECT_EQ(ui_main_window(), nullptr);
}

// Every call on a window refuses a destroyed window's handle with code 1400.
TEST_F(Refusals, AStaleWindowHandleIsRefusedByEveryWindowCall)
{
    const HWND stale = stale_window();
    EXPECT_QUIET(IsWindow(stale), FALSE);
    // Destroyed twice.
    EXPECT_FAILS(DestroyWindow(stale), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(ShowWindow(stale, SW_SHOW), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(SetWindowPos(stale, nullptr, 0, 0, 10, 10, 0), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(UpdateWindow(stale), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(InvalidateRect(stale, nullptr, TRUE), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(DrawMenuBar(stale), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(GetMenu(stale), nullptr, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(GetDC(stale), nullptr, ERROR_INVALID_WINDOW_HANDLE);
    PAINTSTRUCT paint;
    EXPECT_FAILS(BeginPaint(stale, &paint), nullptr, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(SetTimer(stale, 1, 1000, nullptr), 0u, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(PostMessageA(stale, WM_COMMAND, 1, 0), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(SendMessageA(stale, WM_COMMAND, 1, 0), 0, ERROR_INVALID_WINDOW_HANDLE);
    MSG message{stale, WM_COMMAND, 1, 0, 0, POINT{}};
    EXPECT_FAILS(DispatchMessageA(&message), 0, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(recorded_messages(WM_COMMAND), std::vector<UINT>{}) << "nothing reached the stale window";
}

TEST_F(Refusals, MissingParametersAndTimers)
{
    HWND window = make_window(200, 100);
    EXPECT_FAILS(BeginPaint(window, nullptr), nullptr, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(EndPaint(window, nullptr), FALSE, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(GetMessageA(nullptr, nullptr, 0, 0), FALSE, ERROR_INVALID_PARAMETER);

    HWND other = make_window(200, 100, "Other");
    ASSERT_EQ(SetTimer(window, 7, 1000, nullptr), 7u);
    // Another window's timer.
    EXPECT_FAILS(KillTimer(other, 7), FALSE, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(KillTimer(window, 8), FALSE, ERROR_INVALID_PARAMETER);
    EXPECT_QUIET_SUCCESS(KillTimer(window, 7));
    // Killed twice.
    EXPECT_FAILS(KillTimer(window, 7), FALSE, ERROR_INVALID_PARAMETER);
}

TEST_F(Refusals, DeviceContextsAndDrawingObjects)
{
    HWND window = make_window(200, 100);
    HDC window_dc = GetDC(window);
    ASSERT_NE(window_dc, nullptr);
    HDC memory_dc = CreateCompatibleDC(window_dc);
    ASSERT_NE(memory_dc, nullptr);
    ASSERT_TRUE(DeleteDC(memory_dc));
    const HDC stale_dc = memory_dc;
    const std::string shown = ui_text_of(window);

    EXPECT_FAILS(CreateCompatibleDC(stale_dc), nullptr, ERROR_INVALID_HANDLE);
    // Deleted twice.
    EXPECT_FAILS(DeleteDC(stale_dc), FALSE, ERROR_INVALID_HANDLE);
    // A window's context is released, not deleted.
    EXPECT_FAILS(DeleteDC(window_dc), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(TextOutA(stale_dc, 0, 0, "x", 1), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(TextOutA(window_dc, 0, 0, nullptr, 3), FALSE, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(TextOutA(window_dc, 0, 0, "x", -1), FALSE, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(MoveToEx(stale_dc, 0, 0, nullptr), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(LineTo(stale_dc, 10, 0), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(BitBlt(window_dc, 0, 0, 8, 8, stale_dc, 0, 0, SRCCOPY), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(SetTextColor(stale_dc, 0), invalid_colour, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(SetBkColor(stale_dc, 0), invalid_colour, ERROR_INVALID_HANDLE);
    EXPECT_EQ(ui_text_of(window), shown) << "nothing refused was drawn";

    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    ASSERT_NE(SelectObject(window_dc, pen), nullptr);
    // A pen still selected stays.
    EXPECT_QUIET(DeleteObject(pen), FALSE);
    EXPECT_FAILS(SelectObject(stale_dc, pen), nullptr, ERROR_INVALID_HANDLE);
    ASSERT_TRUE(resources_register_bitmap("Art", 16, 16, {"ab", "cd"}));
    HBITMAP bitmap = LoadBitmapA(nullptr, "Art");
    ASSERT_NE(bitmap, nullptr);
    // Only memory contexts take bitmaps.
    EXPECT_FAILS(SelectObject(window_dc, bitmap), nullptr, ERROR_INVALID_PARAMETER);
    // Released by a window it does not belong to.
    EXPECT_QUIET(ReleaseDC(nullptr, window_dc), 0);
    EXPECT_EQ(ReleaseDC(window, window_dc), 1);
    EXPECT_QUIET_SUCCESS(DeleteObject(pen));
    // Deleted twice.
    EXPECT_FAILS(DeleteObject(pen), FALSE, ERROR_INVALID_HANDLE);
    // A released context.
    EXPECT_FAILS(SelectObject(window_dc, bitmap), nullptr, ERROR_INVALID_HANDLE);
}

TEST_F(Refusals, MenusAndResources)
{
    resources_register_menu("TestMenu", {{"&Start", 101, {}}, {"&Options", 0, {{"&Random Access", 132, {}}}}});
    HMENU menu = LoadMenuA(nullptr, "testmenu");
    ASSERT_NE(menu, nullptr);
    HMENU stale_menu = LoadMenuA(nullptr, "TestMenu");
    ASSERT_NE(stale_menu, nullptr);
    // A pop-up that replaces another is destroyed with the item it leaves.
    ASSERT_TRUE(ModifyMenuA(menu, 1, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(stale_menu), "&Other"));
    ASSERT_TRUE(ModifyMenuA(menu, 1, MF_BYPOSITION | MF_STRING, 133, "&Plain"));

    EXPECT_FAILS(EnableMenuItem(stale_menu, 101, MF_GRAYED), -1, ERROR_INVALID_MENU_HANDLE);
    // Gone with its pop-up.
    EXPECT_FAILS(EnableMenuItem(menu, 132, MF_GRAYED), -1, menu_item_not_found);
    EXPECT_FAILS(CheckMenuItem(menu, 999, MF_CHECKED), static_cast<DWORD>(-1), menu_item_not_found);
    EXPECT_FAILS(CheckMenuItem(stale_menu, 101, MF_CHECKED), static_cast<DWORD>(-1), ERROR_INVALID_MENU_HANDLE);
    EXPECT_FAILS(ModifyMenuA(menu, 5, MF_BYPOSITION | MF_STRING, 134, "&Far"), FALSE, menu_item_not_found);
    EXPECT_FAILS(ModifyMenuA(menu, 101, MF_BYCOMMAND | MF_POPUP, reinterpret_cast<UINT_PTR>(stale_menu), "&Pop"),
                 FALSE, ERROR_INVALID_MENU_HANDLE);
    // The item stayed as it was.
    EXPECT_QUIET(EnableMenuItem(menu, 101, MF_GRAYED), static_cast<BOOL>(MF_ENABLED));

    EXPECT_FAILS(LoadMenuA(nullptr, "NoSuchMenu"), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_FAILS(LoadBitmapA(nullptr, "NoSuchBitmap"), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_FAILS(LoadIconA(nullptr, "NoSuchIcon"), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_FAILS(LoadCursorA(nullptr, "NoSuchCursor"), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
    // Stock cursors come from no module.
    EXPECT_FAILS(LoadCursorA(reinterpret_cast<HINSTANCE>(uintptr_t{1}), IDC_ARROW), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_QUIET_SUCCESS(LoadCursorA(nullptr, IDC_WAIT));
}

TEST_F(Refusals, DialogsWithoutATemplateOrWithAStaleOwner)
{
    std::vector<WORD> words = drives_template(1);
    const auto* layout = reinterpret_cast<LPCDLGTEMPLATEA>(words.data());
    EXPECT_FAILS(CreateDialogIndirectParamA(nullptr, nullptr, nullptr, nullptr, 0), nullptr, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(CreateDialogIndirectParamA(nullptr, layout, stale_window(), nullptr, 0), nullptr,
                 ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(ui_view().windows.size(), 0u) << "no dialog was made";
}

}  // namespace
