// Dialogs from in-memory templates: the bytes as read, the dialog as shown,
// and its buttons and keys as commands.
#include <cstring>

#include "platform/ui/dialog_template.h"
#include "tests/ui/dialog_template_bytes.h"
#include "tests/ui/ui_fixture.h"

namespace {

struct DriveRow {
    int type;
    const char* fs;
    const char* volume;
};

const DriveRow drives[] = {{3, "EXT4", "root"}, {3, "XFS", "data"}, {5, "UDF", "disc"}};
constexpr int drive_count = 3;

std::vector<Recorded> dialog_messages;
HBITMAP drive_type_bitmap = nullptr;

// Paints the drive table as the program's Drives dialog does: a type icon,
// the file system and the volume name of each drive between two rules.
void paint_drive_table(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, drive_type_bitmap);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    TextOutA(dc, 125, 45, "Volume", 6);
    int y = 63;
    for (const DriveRow& drive : drives) {
        BitBlt(dc, 10, y + 7, 32, 16, memory, (drive.type - 2) * 32, 0, SRCCOPY);
        TextOutA(dc, 80, y + 7, drive.fs, static_cast<int>(strlen(drive.fs)));
        TextOutA(dc, 125, y + 7, drive.volume, 4);
        y += 24;
    }
    for (int rule_y : {63, y + 7}) {
        MoveToEx(dc, 10, rule_y, nullptr);
        LineTo(dc, 390, rule_y);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    EndPaint(dialog, &paint);
}

INT_PTR CALLBACK drives_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    dialog_messages.push_back(Recorded{dialog, message, wparam, lparam});
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_PAINT:
        paint_drive_table(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == 2 || LOWORD(wparam) == 105) {
            DestroyWindow(dialog);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

class DialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        dialog_messages.clear();
        ASSERT_TRUE(resources_register_bitmap(MAKEINTRESOURCEA(121), 160, 16, {"[R] [F] [N] [C] [M] "}));
        drive_type_bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(121));
        ASSERT_NE(drive_type_bitmap, nullptr);
        owner_ = make_window(400, 200, "Durandex");
    }

    void TearDown() override
    {
        DeleteObject(drive_type_bitmap);
        UiTest::TearDown();
    }

    HWND open_dialog()
    {
        return CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(bytes_.data()),
                                          owner_, drives_proc, 77);
    }

    // Runs the loop as the program does until the dialog procedure has had
    // a WM_COMMAND; returns its id.
    UINT next_command(HWND dialog)
    {
        const size_t seen = dialog_messages.size();
        for (int round = 0; round < 1000; ++round) {
            for (size_t i = seen; i < dialog_messages.size(); ++i) {
                if (dialog_messages[i].message == WM_COMMAND) {
                    return LOWORD(dialog_messages[i].wparam);
                }
            }
            MSG message;
            if (!GetMessageA(&message, nullptr, 0, 0)) {
                break;
            }
            if (!IsWindow(dialog) || !IsDialogMessageA(dialog, &message)) {
                DispatchMessageA(&message);
            }
        }
        ADD_FAILURE() << "no command reached the dialog";
        return 0;
    }

    static HWND control(const WindowView& view, UINT id)
    {
        for (const ControlView& button : view.controls) {
            if (button.id == id) {
                return button.handle;
            }
        }
        return nullptr;
    }

    HWND owner_ = nullptr;
    const std::vector<WORD> bytes_ = drives_template(drive_count);
};

// The dialog's fields, then one line per item, as text.
std::string describe(const DialogTemplate& parsed)
{
    char line[200];
    std::snprintf(line, sizeof line, "%s menu '%s' class '%s' %08x %d,%d %dx%d\n", parsed.title.c_str(),
                  parsed.menu.c_str(), parsed.class_name.c_str(), static_cast<unsigned>(parsed.style), parsed.x,
                  parsed.y, parsed.cx, parsed.cy);
    std::string out = line;
    for (const DialogItem& item : parsed.items) {
        std::snprintf(line, sizeof line, "%s %u %08x %d,%d %dx%d %s %u\n", item.text.c_str(), item.id,
                      static_cast<unsigned>(item.style), item.x, item.y, item.cx, item.cy, item.class_name.c_str(),
                      item.creation_data_size);
        out += line;
    }
    return out;
}

TEST_F(DialogTest, TemplatesAreReadByteForByteWithNamedFieldsFontAndCreationDataAndShortOnesRefused)
{
    // "Unselect" ends off a four-byte boundary: the next item starts after
    // padding, so its fields are only right if the padding was skipped.
    DialogTemplate parsed;
    ASSERT_TRUE(parse_dialog_template(bytes_.data(), bytes_.size() * 2, &parsed));
    EXPECT_EQ(describe(parsed), "Drives menu '' class '' 90c80000 50,15 200x86\n"
                                "Done 105 50030000 5,5 40x12 BUTTON 0\n"
                                "Unselect 106 50000000 55,5 40x12 BUTTON 0\n"
                                "C: 400 50030000 21,34 18x11 BUTTON 0\n"
                                "D: 401 50000000 21,46 18x11 BUTTON 0\n"
                                "E: 402 50000000 21,58 18x11 BUTTON 0\n");

    TemplateWriter writer;
    writer.header(WS_POPUP | DS_SETFONT, 2, 0, 0, 100, 50);
    writer.text("MyMenu");
    writer.word(0xFFFF);
    writer.word(0x1234);
    writer.text(u"Title \u00e9\U0001F4BE");
    writer.word(8);
    writer.text("Font");
    writer.item(WS_CHILD, 1, 2, 3, 4, 7);
    writer.text("CustomClass");
    for (WORD value : {0xFFFF, 33, 6, 0xAAAA, 0xBBBB}) {  // text #33; a size word and four bytes of data
        writer.word(value);
    }
    writer.button(WS_CHILD, 9, 9, 9, 9, 8, "Last");
    DialogTemplate named;
    ASSERT_TRUE(parse_dialog_template(writer.words.data(), writer.words.size() * 2, &named));
    EXPECT_EQ(describe(named), "Title é💾 menu 'MyMenu' class '#4660' 80000040 0,0 100x50\n"
                                "#33 7 40000000 1,2 3x4 CustomClass 6\n"
                                "Last 8 40000000 9,9 9x9 BUTTON 0\n");
    EXPECT_FALSE(parse_dialog_template(writer.words.data(), writer.words.size() * 2 - 4, &named));
}

TEST_F(DialogTest, TheDialogOpensWithItsButtonsInPlaceAndPaintsItsTable)
{
    HWND dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(dialog_messages.empty());
    EXPECT_EQ(dialog_messages[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(dialog_messages[0].lparam, 77);

    const WindowView view = view_of(dialog);
    EXPECT_TRUE(view.dialog);
    EXPECT_EQ(view.title, "Drives");
    EXPECT_EQ(view.owner, owner_);
    EXPECT_EQ(view.cols, 50);
    EXPECT_EQ(reinterpret_cast<WPARAM>(control(view, 105)), dialog_messages[0].wparam);
    ASSERT_EQ(view.controls.size(), static_cast<size_t>(drive_count + 2));
    for (const ControlView& button : view.controls) {
        if (button.id >= 400) {
            EXPECT_EQ(button.left, 5) << button.text;
            EXPECT_EQ(button.top, 3 + static_cast<int>(button.id - 400)) << button.text;
            EXPECT_EQ(button.cols, 4);
        }
        EXPECT_EQ(button.focused, button.id == 105) << button.text;
    }

    MSG message;
    do {
        ASSERT_TRUE(pump_one(&message));
    } while (message.message != WM_PAINT || message.hwnd != dialog);
    EXPECT_EQ(ui_text_of(dialog), " [  Done  ]  [Unselect]\n               Volume\n" + rule_row() +
                                      "\n [F] [C:] EXT4 root\n [F] [D:] XFS  data\n [C] [E:] UDF  disc\n" + rule_row() +
                                      "\n\n");
}

TEST_F(DialogTest, ButtonsAndKeysReachTheDialogProcedureAsCommands)
{
    HWND dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    const WindowView view = view_of(dialog);

    ASSERT_TRUE(ui_press_button(control(view, 401)));
    EXPECT_EQ(next_command(dialog), 401u);
    EXPECT_EQ(dialog_messages.back().lparam, reinterpret_cast<LPARAM>(control(view, 401)));

    ASSERT_TRUE(PostMessageA(dialog, WM_CHAR, 'e', 0));
    EXPECT_EQ(next_command(dialog), 402u);

    // Focus is on the last pressed button; Tab moves it on, wrapping round.
    ASSERT_TRUE(PostMessageA(dialog, WM_KEYDOWN, VK_TAB, 0));
    ASSERT_TRUE(PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0));
    EXPECT_EQ(next_command(dialog), 105u);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(DialogTest, EscapeAndCloseBothGiveIdTwoAndTheOwnerTakesTheDialogWithIt)
{
    HWND dialog = open_dialog();
    ASSERT_TRUE(PostMessageA(dialog, WM_KEYDOWN, VK_TAB, 0));
    ASSERT_TRUE(PostMessageA(dialog, WM_KEYDOWN, VK_SPACE, 0));
    EXPECT_EQ(next_command(dialog), 106u);
    ASSERT_TRUE(PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0));
    EXPECT_EQ(next_command(dialog), 2u);
    EXPECT_FALSE(IsWindow(dialog));

    dialog = open_dialog();
    ASSERT_TRUE(PostMessageA(dialog, WM_CLOSE, 0, 0));
    EXPECT_EQ(next_command(dialog), 2u);
    EXPECT_FALSE(IsWindow(dialog));

    dialog = open_dialog();
    ASSERT_TRUE(IsWindow(dialog));
    ASSERT_TRUE(DestroyWindow(owner_));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(dialog_messages.back().message, static_cast<UINT>(WM_DESTROY));
}

}  // namespace
