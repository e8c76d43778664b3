#include <gtest/gtest.h>

#include <sstream>

#include "platform/ui/terminal_compose.h"
#include "platform/ui/terminal_input.h"
#include "view_builders.h"

namespace {

const HWND main_handle = fake_handle(0x100);
const HWND dialog_handle = fake_handle(0x200);

TerminalKey ch(char c)
{
    return {KeyKind::Char, c};
}

TerminalKey alt(char c)
{
    return {KeyKind::AltChar, c};
}

TerminalKey key(KeyKind kind)
{
    return {kind, 0};
}

// What the actions ask for, then the state of the menu: "choose 102 closed",
// "dialog keydown 27 closed", "answer 8 2 closed", "bar 3 path 1 0".
std::string describe(const std::vector<TerminalAction>& actions, const TerminalState& state)
{
    std::ostringstream out;
    for (const TerminalAction& action : actions) {
        const char* window = action.window == main_handle ? "main" : action.window == dialog_handle ? "dialog" : "?";
        switch (action.kind) {
        case ActionKind::ChooseMenuItem:
            out << "choose " << action.id << (action.window == main_handle ? " " : " elsewhere ");
            break;
        case ActionKind::PostMessage:
            out << window << (action.message == WM_CHAR ? " char " : action.message == WM_KEYDOWN ? " keydown " : " ")
                << (action.message == WM_CLOSE ? "close " : std::to_string(action.wparam) + " ");
            break;
        case ActionKind::AnswerBox:
            out << "answer " << action.serial << " " << action.answer << " ";
            break;
        case ActionKind::PressButton:
            out << "press " << action.control << " in " << window << " ";
            break;
        case ActionKind::Interrupt:
            out << "interrupt ";
            break;
        }
    }
    if (!state.menu.active) {
        return out.str() + "closed";
    }
    out << "bar " << state.menu.bar << " path";
    for (int index : state.menu.path) {
        out << " " << index;
    }
    return out.str();
}

class TerminalInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.windows = {main_window_view()};
        follow_view(state, view);
    }

    void show_dialog()
    {
        view.windows.push_back(dialog_view());
        follow_view(state, view);
    }

    // Keys in order; the actions of the last one.
    std::vector<TerminalAction> press(std::initializer_list<TerminalKey> keys)
    {
        std::vector<TerminalAction> actions;
        for (const TerminalKey& one : keys) {
            actions = handle_key(state, view, one);
        }
        return actions;
    }

    std::vector<TerminalAction> click(int column, int row)
    {
        follow_view(state, view);
        const Composition shown = compose_screen(view, state, 100, 30);
        return handle_click(state, view, shown.hits, column, row);
    }

    std::string step(std::initializer_list<TerminalKey> keys) { return describe(press(keys), state); }
    std::string click_step(int column, int row) { return describe(click(column, row), state); }

    UiView view;
    TerminalState state;
};

TEST_F(TerminalInput, MnemonicsChooseBarCommandsAndWalkIntoNestedPopupsButNotToGreyedItems)
{
    EXPECT_EQ(step({ch('d')}), "choose 102 closed");
    EXPECT_EQ(step({alt('Q')}), "choose 100 closed");
    EXPECT_EQ(step({ch('s')}), "closed") << "Start is greyed";
    EXPECT_EQ(step({alt('p')}), "closed") << "Pause is greyed";
    EXPECT_EQ(step({ch('z')}), "closed");
    EXPECT_EQ(step({alt('o')}), "bar 3 path 0");
    EXPECT_EQ(step({ch('L')}), "bar 3 path 1 0");
    EXPECT_EQ(step({ch('3')}), "choose 140 closed") << "a chosen command closes the menu";
    EXPECT_EQ(step({alt('o'), ch('f'), ch('q')}), "bar 3 path 0 0") << "no q in File Flags";
    EXPECT_EQ(step({alt('q')}), "choose 100 closed") << "Alt reaches the bar from an open pop-up";

    view.windows[0].menu[3].items[1].items[0].greyed = true;
    EXPECT_EQ(step({alt('o'), ch('l'), ch('3')}), "bar 3 path 1 0") << "a greyed item keeps the menu open";
    EXPECT_EQ(step({key(KeyKind::Enter)}), "bar 3 path 1 0");
}

TEST_F(TerminalInput, ArrowsWalkTheBarAndPopupsSkippingSeparatorsAndEscapeClosesOneLevelAtATime)
{
    const TerminalKey left = key(KeyKind::Left);
    const TerminalKey right = key(KeyKind::Right);
    const TerminalKey down = key(KeyKind::Down);
    const TerminalKey escape = key(KeyKind::Escape);
    EXPECT_EQ(step({key(KeyKind::F10)}), "bar 0 path");
    EXPECT_EQ(step({left}), "bar 5 path") << "Left from the first item wraps to the last";
    EXPECT_EQ(step({right, right, right, right, down}), "bar 3 path 0");
    EXPECT_EQ(step({right, down, down}), "bar 3 path 0 3") << "the separator at 2 is skipped";
    EXPECT_EQ(step({down}), "bar 3 path 0 0") << "Down from the last wraps";
    EXPECT_EQ(step({key(KeyKind::Up), key(KeyKind::Enter)}), "choose 133 closed");

    EXPECT_EQ(step({alt('o'), right}), "bar 3 path 0 0");
    EXPECT_EQ(step({escape}), "bar 3 path 0");
    EXPECT_EQ(step({down, right}), "bar 3 path 1 0");
    EXPECT_EQ(step({left}), "bar 3 path 1") << "Left closes the inner pop-up";
    EXPECT_EQ(step({left}), "bar 2 path") << "Pause has no pop-up to open";
    EXPECT_EQ(step({escape}), "closed");
    EXPECT_EQ(step({escape}), "closed");
}

TEST_F(TerminalInput, KeysOfAnActiveDialogGoToItsWindowButAltStillReachesTheMenuAndAltF4Closes)
{
    show_dialog();
    EXPECT_EQ(state.active, dialog_handle) << "a new dialog takes the keys";
    EXPECT_EQ(step({ch('c')}), "dialog char 99 closed");
    EXPECT_EQ(step({key(KeyKind::Escape)}), "dialog keydown 27 closed");
    EXPECT_EQ(step({key(KeyKind::Tab)}), "dialog keydown 9 closed");
    EXPECT_EQ(step({key(KeyKind::Enter)}), "dialog keydown 13 closed");
    EXPECT_EQ(step({key(KeyKind::Space)}), "dialog keydown 32 closed");
    EXPECT_EQ(step({alt('d')}), "choose 102 closed");
    EXPECT_EQ(step({key(KeyKind::AltF4)}), "dialog keydown 27 closed") << "Alt-F4 on a dialog is Escape";
    state.active = main_handle;
    EXPECT_EQ(step({alt('o'), key(KeyKind::AltF4)}), "main close closed");
}

TEST_F(TerminalInput, MessageBoxTakesEveryKeyAndAnswersAsItsButtonsAllowAndCtrlCStaysAnInterrupt)
{
    view.boxes = {box_view(7, "text", "Durandex Error", MB_OK)};
    follow_view(state, view);
    EXPECT_EQ(step({ch('q')}), "closed") << "the menu waits for the box";
    EXPECT_EQ(step({key(KeyKind::Escape)}), "answer 7 1 closed");
    EXPECT_EQ(step({key(KeyKind::Enter)}), "answer 7 1 closed");
    EXPECT_EQ(step({key(KeyKind::Interrupt)}), "interrupt closed");

    view.boxes = {box_view(8, "text", "Question", MB_OKCANCEL)};
    follow_view(state, view);
    EXPECT_EQ(step({key(KeyKind::Escape)}), "answer 8 2 closed");
    EXPECT_EQ(step({key(KeyKind::Tab), key(KeyKind::Space)}), "answer 8 2 closed");
    EXPECT_EQ(step({key(KeyKind::Left), key(KeyKind::Enter)}), "answer 8 1 closed");
}

TEST_F(TerminalInput, FollowingTheModelMovesActivityClosesVanishedMenusAndResetsBoxButtons)
{
    show_dialog();
    state.active = main_handle;
    follow_view(state, view);
    EXPECT_EQ(state.active, main_handle) << "a dialog already seen does not take the keys back";
    state.active = dialog_handle;
    view.windows.pop_back();
    follow_view(state, view);
    EXPECT_EQ(state.active, main_handle) << "a closed dialog hands the keys to the main window";

    press({alt('o'), ch('f')});
    ASSERT_EQ(state.menu.path.size(), 2u);
    view.windows[0].menu[3].items[0].popup = false;
    view.windows[0].menu[3].items[0].items.clear();
    follow_view(state, view);
    EXPECT_EQ(state.menu.path, std::vector<int>({0}));
    view.windows[0].menu.resize(2);
    follow_view(state, view);
    EXPECT_FALSE(state.menu.active);

    view.boxes = {box_view(3, "a", "b", MB_OKCANCEL)};
    follow_view(state, view);
    press({key(KeyKind::Tab)});
    EXPECT_EQ(state.box_button, 1);
    view.boxes = {box_view(4, "a", "b", MB_OKCANCEL)};
    follow_view(state, view);
    EXPECT_EQ(state.box_button, 0) << "a new box starts on its first button";
}

TEST_F(TerminalInput, ClicksChooseOpenOrRefuseAsKeysDoAndPressDialogButtons)
{
    EXPECT_EQ(click_step(30, 0), "choose 102 closed") << "on Drives...";
    EXPECT_EQ(click_step(20, 0), "closed") << "on the greyed Start";
    EXPECT_EQ(click_step(46, 0), "bar 3 path 0") << "Options opened";
    EXPECT_EQ(click_step(48, 3), "bar 3 path 1 0") << "Line Size opened beside";
    EXPECT_EQ(click_step(64, 4), "choose 140 closed") << "on 32";
    click(46, 0);
    EXPECT_EQ(click_step(46, 0), "closed") << "a second click on an open bar item closes it";
    click(46, 0);
    EXPECT_EQ(click_step(5, 20), "closed") << "a click elsewhere closes the menu and does nothing else";

    show_dialog();
    click(5, 3);
    EXPECT_EQ(state.active, main_handle);
    EXPECT_EQ(click_step(55, 5), "press 0x20c in dialog closed") << "C: at column 5 of the dialog's row 2";
    EXPECT_EQ(state.active, dialog_handle);
}

}  // namespace
