// A dialog from an in-memory template: as shown, and its buttons and keys as
// commands. The Drives dialog's template is read byte for byte in the drives tests.
#include "tests/ui/dialog_template_bytes.h"
#include "tests/ui/ui_fixture.h"

namespace {

std::vector<Recorded> dialog_messages;

INT_PTR CALLBACK closing_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    dialog_messages.push_back(Recorded{dialog, message, wparam, lparam});
    if (message == WM_COMMAND && (LOWORD(wparam) == 2 || LOWORD(wparam) == 105)) {
        DestroyWindow(dialog);
    }
    return message == WM_INITDIALOG || message == WM_COMMAND;
}

class DialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        dialog_messages.clear();
        owner_ = make_window(400, 200, "Durandex");
    }

    HWND open_dialog()
    {
        return CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(bytes_.data()), owner_,
                                          closing_proc, 77);
    }

    // Runs the loop as the program does until the dialog procedure has had
    // a WM_COMMAND; its id, or 0 when the loop ends first.
    static UINT next_command(HWND dialog)
    {
        const size_t seen = dialog_messages.size();
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0)) {
            if (!IsWindow(dialog) || !IsDialogMessageA(dialog, &message)) {
                DispatchMessageA(&message);
            }
            for (size_t i = seen; i < dialog_messages.size(); ++i) {
                if (dialog_messages[i].message == WM_COMMAND) {
                    return LOWORD(dialog_messages[i].wparam);
                }
            }
        }
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
    const std::vector<WORD> bytes_ = drives_template(3);
};

TEST_F(DialogTest, ButtonsKeysEscapeCloseAndTheOwnerReachTheDialogProcedure)
{
    HWND dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(dialog_messages.empty());
    EXPECT_EQ(dialog_messages[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(dialog_messages[0].lparam, 77);
    const WindowView view = view_of(dialog);
    EXPECT_EQ(view.owner, owner_);
    EXPECT_EQ(reinterpret_cast<WPARAM>(control(view, 105)), dialog_messages[0].wparam) << "focus on Done";
    ASSERT_TRUE(ui_press_button(control(view, 401)));
    EXPECT_EQ(next_command(dialog), 401u);
    EXPECT_EQ(dialog_messages.back().lparam, reinterpret_cast<LPARAM>(control(view, 401)));

    // Focus is on the last pressed button; Tab moves it on, wrapping round.
    const struct {
        UINT message;
        WPARAM key;
        UINT command;
    } steps[] = {{WM_CHAR, 'e', 402},         {WM_KEYDOWN, VK_TAB, 0}, {WM_KEYDOWN, VK_TAB, 0},
                 {WM_KEYDOWN, VK_SPACE, 106}, {WM_KEYDOWN, VK_TAB, 0}, {WM_KEYDOWN, VK_RETURN, 400}};
    for (const auto& step : steps) {
        ASSERT_TRUE(PostMessageA(dialog, step.message, step.key, 0));
        if (step.command != 0) {
            EXPECT_EQ(next_command(dialog), step.command) << step.key;
        }
    }
    for (const UINT ending : {UINT{WM_KEYDOWN}, UINT{WM_CLOSE}}) {
        ASSERT_TRUE(PostMessageA(dialog, ending, VK_ESCAPE, 0));
        EXPECT_EQ(next_command(dialog), 2u) << ending;
        EXPECT_FALSE(IsWindow(dialog));
        dialog = open_dialog();
    }
    ASSERT_TRUE(DestroyWindow(owner_));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(dialog_messages.back().message, static_cast<UINT>(WM_DESTROY));
}

}  // namespace
