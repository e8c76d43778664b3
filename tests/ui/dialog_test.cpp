// Dialogs from in-memory templates: the bytes as read, the dialog as shown,
// and its buttons and keys as commands.
#include <cstring>

#include "platform/ui/dialog_template.h"
#include "tests/ui/ui_fixture.h"

namespace {

// Writes a template word by word, as a program builds one in memory.
struct TemplateWriter {
    std::vector<WORD> words;

    void word(WORD value) { words.push_back(value); }
    void dword(DWORD value)
    {
        word(static_cast<WORD>(value & 0xFFFF));
        word(static_cast<WORD>(value >> 16));
    }
    void text(const char* value)
    {
        for (const char* ch = value; *ch != '\0'; ++ch) {
            word(static_cast<WORD>(static_cast<unsigned char>(*ch)));
        }
        word(0);
    }
    void text16(const char16_t* value)
    {
        for (const char16_t* ch = value; *ch != u'\0'; ++ch) {
            word(static_cast<WORD>(*ch));
        }
        word(0);
    }
    void align()
    {
        if (words.size() % 2 != 0) {
            word(0);
        }
    }
    void header(DWORD style, WORD items, short x, short y, short cx, short cy)
    {
        dword(style);
        dword(0);
        word(items);
        for (short value : {x, y, cx, cy}) {
            word(static_cast<WORD>(value));
        }
    }
    void button(DWORD style, short x, short y, short cx, short cy, WORD id, const char* title)
    {
        align();
        dword(style);
        dword(0);
        for (short value : {x, y, cx, cy}) {
            word(static_cast<WORD>(value));
        }
        word(id);
        word(0xFFFF);
        word(0x0080);
        text(title);
        word(0);
    }
};

struct DriveRow {
    const char* letter;
    int type;
    const char* fs;
    const char* volume;
    double free_mb;
    double total_mb;
};

const DriveRow drives[] = {{"C:", 3, "EXT4", "root", 1024.0, 4096.0},
                           {"D:", 3, "XFS", "data", 512.5, 2048.0},
                           {"E:", 5, "UDF", "disc", 0.0, 650.0}};
constexpr int drive_count = 3;

// The Drives dialog's template: "Done", "Unselect" and one button per drive.
std::vector<WORD> drives_template(int count)
{
    TemplateWriter writer;
    writer.header(0x90C80000, static_cast<WORD>(count + 2), 50, 15, 200,
                  static_cast<short>(12 * count + 50));
    writer.word(0);
    writer.word(0);
    writer.text("Drives");
    writer.button(0x50030000, 5, 5, 40, 12, 105, "Done");
    writer.button(0x50000000, 55, 5, 40, 12, 106, "Unselect");
    for (int i = 0; i < count; ++i) {
        writer.button(i == 0 ? 0x50030000 : 0x50000000, 21, static_cast<short>(34 + 12 * i), 18, 11,
                      static_cast<WORD>(400 + i), drives[i].letter);
    }
    return writer.words;
}

std::vector<Recorded>& dialog_messages()
{
    static std::vector<Recorded> recorded;
    return recorded;
}

HBITMAP drive_type_bitmap = nullptr;

void draw_text(HDC dc, int x, int y, const char* value)
{
    TextOutA(dc, x, y, value, static_cast<int>(strlen(value)));
}

void draw_rule(HDC dc, int y)
{
    MoveToEx(dc, 10, y, nullptr);
    LineTo(dc, 390, y);
}

// Paints the drive table as the program's Drives dialog does.
void paint_drive_table(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, drive_type_bitmap);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    draw_text(dc, 125, 45, "Volume");
    draw_text(dc, 240, 45, "Free MB");
    draw_text(dc, 310, 45, "Total MB");
    draw_rule(dc, 63);
    int y = 70;
    for (const DriveRow& drive : drives) {
        char number[32];
        BitBlt(dc, 10, y, 32, 16, memory, (drive.type - 2) * 32, 0, SRCCOPY);
        draw_text(dc, 80, y, drive.fs);
        draw_text(dc, 125, y, drive.volume);
        std::snprintf(number, sizeof number, "%3.1f", drive.free_mb);
        draw_text(dc, 250, y, number);
        std::snprintf(number, sizeof number, "%3.1f", drive.total_mb);
        draw_text(dc, 320, y, number);
        y += 24;
    }
    draw_rule(dc, y);
    SelectObject(memory, previous);
    DeleteDC(memory);
    EndPaint(dialog, &paint);
}

INT_PTR CALLBACK drives_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    dialog_messages().push_back(Recorded{dialog, message, wparam, lparam});
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
        dialog_messages().clear();
        ASSERT_TRUE(resources_register_bitmap(MAKEINTRESOURCEA(121), 160, 16, {"[R] [F] [N] [C] [M] "}));
        drive_type_bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(121));
        ASSERT_NE(drive_type_bitmap, nullptr);
        owner_ = make_window(400, 200, "Durandex");
        bytes_ = drives_template(drive_count);
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
        const size_t seen = dialog_messages().size();
        for (int round = 0; round < 1000; ++round) {
            for (size_t i = seen; i < dialog_messages().size(); ++i) {
                if (dialog_messages()[i].message == WM_COMMAND) {
                    return LOWORD(dialog_messages()[i].wparam);
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

    static WindowView view_of(HWND window)
    {
        for (const WindowView& view : ui_view().windows) {
            if (view.handle == window) {
                return view;
            }
        }
        return WindowView{};
    }

    HWND owner_ = nullptr;
    std::vector<WORD> bytes_;
};

TEST_F(DialogTest, TheTemplateIsReadByteForByteWithItemsOnFourByteBoundaries)
{
    DialogTemplate parsed;
    ASSERT_TRUE(parse_dialog_template(bytes_.data(), bytes_.size() * 2, &parsed));
    EXPECT_EQ(parsed.style, 0x90C80000u);
    EXPECT_EQ(parsed.x, 50);
    EXPECT_EQ(parsed.y, 15);
    EXPECT_EQ(parsed.cx, 200);
    EXPECT_EQ(parsed.cy, 12 * drive_count + 50);
    EXPECT_EQ(parsed.menu, "");
    EXPECT_EQ(parsed.class_name, "");
    EXPECT_EQ(parsed.title, "Drives");
    ASSERT_EQ(parsed.items.size(), static_cast<size_t>(drive_count + 2));
    EXPECT_EQ(parsed.items[0].text, "Done");
    EXPECT_EQ(parsed.items[0].style, 0x50030000u);
    EXPECT_EQ(parsed.items[1].text, "Unselect");
    EXPECT_EQ(parsed.items[1].x, 55);
    // "Unselect" ends off a four-byte boundary: the next item starts after
    // padding, so its fields are only right if the padding was skipped.
    EXPECT_EQ(parsed.items[2].text, "C:");
    EXPECT_EQ(parsed.items[2].id, 400);
    EXPECT_EQ(parsed.items[2].style, 0x50030000u);
    EXPECT_EQ(parsed.items[4].text, "E:");
    EXPECT_EQ(parsed.items[4].y, 34 + 24);
    EXPECT_EQ(parsed.items[4].cy, 11);
    for (const DialogItem& item : parsed.items) {
        EXPECT_EQ(item.class_name, "BUTTON");
        EXPECT_EQ(item.creation_data_size, 0);
    }
}

TEST_F(DialogTest, NamedFieldsFontAndCreationDataAreSkippedRightAndShortTemplatesRefused)
{
    TemplateWriter writer;
    writer.header(WS_POPUP | DS_SETFONT, 2, 0, 0, 100, 50);
    writer.text("MyMenu");
    writer.word(0xFFFF);
    writer.word(0x1234);
    writer.text16(u"Title \u00e9\U0001F4BE");
    writer.word(8);
    writer.text("Font");
    writer.align();
    writer.dword(WS_CHILD);
    writer.dword(0);
    for (short value : {1, 2, 3, 4}) {
        writer.word(static_cast<WORD>(value));
    }
    writer.word(7);
    writer.text("CustomClass");
    writer.word(0xFFFF);
    writer.word(33);
    writer.word(6);  // the size word and four bytes of data
    writer.word(0xAAAA);
    writer.word(0xBBBB);
    writer.button(WS_CHILD, 9, 9, 9, 9, 8, "Last");
    DialogTemplate parsed;
    ASSERT_TRUE(parse_dialog_template(writer.words.data(), writer.words.size() * 2, &parsed));
    EXPECT_EQ(parsed.menu, "MyMenu");
    EXPECT_EQ(parsed.class_name, "#4660");
    EXPECT_EQ(parsed.title, "Title é💾");
    ASSERT_EQ(parsed.items.size(), 2u);
    EXPECT_EQ(parsed.items[0].class_name, "CustomClass");
    EXPECT_EQ(parsed.items[0].text, "#33");
    EXPECT_EQ(parsed.items[0].creation_data_size, 6);
    EXPECT_EQ(parsed.items[1].id, 8);
    EXPECT_EQ(parsed.items[1].text, "Last");

    EXPECT_FALSE(parse_dialog_template(writer.words.data(), writer.words.size() * 2 - 4, &parsed));
}

TEST_F(DialogTest, TheDialogOpensWithItsButtonsInPlaceAndPaintsItsTable)
{
    HWND dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(dialog_messages().empty());
    EXPECT_EQ(dialog_messages()[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(dialog_messages()[0].lparam, 77);

    const WindowView view = view_of(dialog);
    EXPECT_TRUE(view.dialog);
    EXPECT_EQ(view.title, "Drives");
    EXPECT_EQ(view.owner, owner_);
    EXPECT_EQ(view.cols, 50);
    EXPECT_EQ(reinterpret_cast<WPARAM>(control(view, 105)), dialog_messages()[0].wparam);
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
        ASSERT_TRUE(GetMessageA(&message, nullptr, 0, 0));
        DispatchMessageA(&message);
    } while (message.message != WM_PAINT || message.hwnd != dialog);
    std::string rule = " ";
    for (int col = 1; col <= 48; ++col) {
        rule += "─";
    }
    EXPECT_EQ(ui_text_of(dialog),
              " [  Done  ]  [Unselect]\n"
              "               Volume         Free MB Total MB\n" +
                  rule + "\n"
                         " [F] [C:] EXT4 root            1024.0   4096.0\n"
                         " [F] [D:] XFS  data            512.5    2048.0\n"
                         " [C] [E:] UDF  disc            0.0      650.0\n" +
                  rule + "\n\n");
}

TEST_F(DialogTest, ButtonsAndKeysReachTheDialogProcedureAsCommands)
{
    HWND dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    const WindowView view = view_of(dialog);

    ASSERT_TRUE(ui_press_button(control(view, 401)));
    EXPECT_EQ(next_command(dialog), 401u);
    EXPECT_EQ(dialog_messages().back().lparam, reinterpret_cast<LPARAM>(control(view, 401)));

    ASSERT_TRUE(PostMessageA(dialog, WM_CHAR, 'e', 0));
    EXPECT_EQ(next_command(dialog), 402u);

    // Focus is on the last pressed button; Tab moves it on, wrapping round.
    ASSERT_TRUE(PostMessageA(dialog, WM_KEYDOWN, VK_TAB, 0));
    ASSERT_TRUE(PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0));
    EXPECT_EQ(next_command(dialog), 105u);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(DialogTest, EscapeAndCloseBothGiveIdTwo)
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
}

TEST_F(DialogTest, DestroyingTheOwnerDestroysTheDialog)
{
    HWND dialog = open_dialog();
    ASSERT_TRUE(IsWindow(dialog));
    ASSERT_TRUE(DestroyWindow(owner_));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(dialog_messages().back().message, static_cast<UINT>(WM_DESTROY));
}

}  // namespace
