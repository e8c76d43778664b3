#include <gtest/gtest.h>

#include "platform/ui/terminal_compose.h"
#include "platform/ui/terminal_input.h"
#include "view_builders.h"

namespace {

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

// Keys in order; the actions of the last one.
std::vector<TerminalAction> press(TerminalState& state, const UiView& view,
                                  std::initializer_list<TerminalKey> keys)
{
    std::vector<TerminalAction> actions;
    for (const TerminalKey& one : keys) {
        actions = handle_key(state, view, one);
    }
    return actions;
}

void expect_menu_command(const std::vector<TerminalAction>& actions, UINT id)
{
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, ActionKind::ChooseMenuItem);
    EXPECT_EQ(actions[0].window, fake_handle(0x100));
    EXPECT_EQ(actions[0].id, id);
}

void expect_posted(const std::vector<TerminalAction>& actions, UINT message, WPARAM wparam)
{
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, ActionKind::PostMessage);
    EXPECT_EQ(actions[0].window, fake_handle(0x200));
    EXPECT_EQ(actions[0].message, message);
    EXPECT_EQ(actions[0].wparam, wparam);
}

void expect_answer(const std::vector<TerminalAction>& actions, uint64_t serial, int answer)
{
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, ActionKind::AnswerBox);
    EXPECT_EQ(actions[0].serial, serial);
    EXPECT_EQ(actions[0].answer, answer);
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

    UiView view;
    TerminalState state;
};

TEST_F(TerminalInput, MnemonicsWithAndWithoutAltChooseBarCommandsButNotGreyedOnes)
{
    expect_menu_command(press(state, view, {ch('d')}), 102);
    expect_menu_command(press(state, view, {alt('Q')}), 100);
    EXPECT_FALSE(state.menu.active);
    EXPECT_TRUE(press(state, view, {ch('s')}).empty()) << "Start is greyed";
    EXPECT_TRUE(press(state, view, {alt('p')}).empty()) << "Pause is greyed";
    EXPECT_TRUE(press(state, view, {ch('z')}).empty());
}

TEST_F(TerminalInput, MnemonicsWalkIntoNestedPopupsAndChooseTheirItems)
{
    EXPECT_TRUE(press(state, view, {alt('o')}).empty());
    EXPECT_TRUE(state.menu.active);
    EXPECT_EQ(state.menu.bar, 3);
    EXPECT_EQ(state.menu.path, std::vector<int>({0}));
    EXPECT_TRUE(press(state, view, {ch('L')}).empty());
    EXPECT_EQ(state.menu.path, std::vector<int>({1, 0}));
    expect_menu_command(press(state, view, {ch('3')}), 140);
    EXPECT_FALSE(state.menu.active) << "a chosen command closes the menu";

    press(state, view, {alt('o'), ch('f')});
    EXPECT_TRUE(press(state, view, {ch('q')}).empty()) << "no q in File Flags";
    expect_menu_command(press(state, view, {alt('q')}), 100);
    EXPECT_FALSE(state.menu.active) << "Alt reaches the bar from an open pop-up";
}

TEST_F(TerminalInput, ArrowsWalkTheBarAndPopupsSkippingSeparators)
{
    press(state, view, {key(KeyKind::F10)});
    EXPECT_TRUE(state.menu.active);
    EXPECT_TRUE(state.menu.path.empty());
    press(state, view, {key(KeyKind::Left)});
    EXPECT_EQ(state.menu.bar, 5) << "Left from the first item wraps to the last";
    press(state, view, {key(KeyKind::Right), key(KeyKind::Right), key(KeyKind::Right), key(KeyKind::Right),
                        key(KeyKind::Down)});
    EXPECT_EQ(state.menu.bar, 3);
    EXPECT_EQ(state.menu.path, std::vector<int>({0}));
    press(state, view, {key(KeyKind::Right), key(KeyKind::Down), key(KeyKind::Down)});
    EXPECT_EQ(state.menu.path, std::vector<int>({0, 3})) << "the separator at 2 is skipped";
    press(state, view, {key(KeyKind::Down)});
    EXPECT_EQ(state.menu.path, std::vector<int>({0, 0})) << "Down from the last wraps";
    press(state, view, {key(KeyKind::Up)});
    expect_menu_command(press(state, view, {key(KeyKind::Enter)}), 133);
}

TEST_F(TerminalInput, EscapeClosesOneLevelAtATimeAndRightMovesAlongTheBar)
{
    press(state, view, {alt('o'), key(KeyKind::Right)});
    EXPECT_EQ(state.menu.path, std::vector<int>({0, 0}));
    press(state, view, {key(KeyKind::Escape)});
    EXPECT_EQ(state.menu.path, std::vector<int>({0}));
    press(state, view, {key(KeyKind::Down), key(KeyKind::Right)});
    EXPECT_EQ(state.menu.path, std::vector<int>({1, 0}));
    press(state, view, {key(KeyKind::Left)});
    EXPECT_EQ(state.menu.path, std::vector<int>({1})) << "Left closes the inner pop-up";
    press(state, view, {key(KeyKind::Left)});
    EXPECT_EQ(state.menu.bar, 2);
    EXPECT_TRUE(state.menu.path.empty()) << "Pause has no pop-up to open";
    press(state, view, {key(KeyKind::Escape)});
    EXPECT_FALSE(state.menu.active);
    EXPECT_TRUE(press(state, view, {key(KeyKind::Escape)}).empty());
}

TEST_F(TerminalInput, GreyedPopupItemGivesNothingAndKeepsTheMenuOpen)
{
    view.windows[0].menu[3].items[1].items[0].greyed = true;
    press(state, view, {alt('o'), ch('l')});
    EXPECT_TRUE(press(state, view, {ch('3')}).empty());
    EXPECT_TRUE(press(state, view, {key(KeyKind::Enter)}).empty());
    EXPECT_TRUE(state.menu.active);
}

TEST_F(TerminalInput, KeysOfAnActiveDialogGoToItsWindowButAltStillReachesTheMenu)
{
    show_dialog();
    EXPECT_EQ(state.active, fake_handle(0x200)) << "a new dialog takes the keys";
    expect_posted(press(state, view, {ch('c')}), WM_CHAR, 'c');
    expect_posted(press(state, view, {key(KeyKind::Escape)}), WM_KEYDOWN, VK_ESCAPE);
    expect_posted(press(state, view, {key(KeyKind::Tab)}), WM_KEYDOWN, VK_TAB);
    expect_posted(press(state, view, {key(KeyKind::Enter)}), WM_KEYDOWN, VK_RETURN);
    expect_posted(press(state, view, {key(KeyKind::Space)}), WM_KEYDOWN, VK_SPACE);
    expect_menu_command(press(state, view, {alt('d')}), 102);
}

TEST_F(TerminalInput, AltF4ClosesTheActiveWindowAndTheOpenMenu)
{
    show_dialog();
    expect_posted(press(state, view, {key(KeyKind::AltF4)}), WM_KEYDOWN, VK_ESCAPE);
    state.active = fake_handle(0x100);
    press(state, view, {alt('o')});
    const std::vector<TerminalAction> actions = press(state, view, {key(KeyKind::AltF4)});
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, ActionKind::PostMessage);
    EXPECT_EQ(actions[0].window, fake_handle(0x100));
    EXPECT_EQ(actions[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_FALSE(state.menu.active);
}

TEST_F(TerminalInput, MessageBoxTakesEveryKeyAndAnswersAsItsButtonsAllow)
{
    view.boxes = {box_view(7, "text", "Durandex Error", MB_OK)};
    follow_view(state, view);
    EXPECT_TRUE(press(state, view, {ch('q')}).empty()) << "the menu waits for the box";
    expect_answer(press(state, view, {key(KeyKind::Escape)}), 7, IDOK);
    expect_answer(press(state, view, {key(KeyKind::Enter)}), 7, IDOK);

    view.boxes = {box_view(8, "text", "Question", MB_OKCANCEL)};
    follow_view(state, view);
    expect_answer(press(state, view, {key(KeyKind::Escape)}), 8, IDCANCEL);
    expect_answer(press(state, view, {key(KeyKind::Tab), key(KeyKind::Space)}), 8, IDCANCEL);
    expect_answer(press(state, view, {key(KeyKind::Left), key(KeyKind::Enter)}), 8, IDOK);
}

TEST_F(TerminalInput, CtrlCIsAnInterruptWhateverIsShown)
{
    view.boxes = {box_view(1, "text", "Durandex", MB_OK)};
    const std::vector<TerminalAction> actions = handle_key(state, view, key(KeyKind::Interrupt));
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, ActionKind::Interrupt);
}

TEST_F(TerminalInput, FollowingTheModelMovesActivityClosesVanishedMenusAndResetsBoxButtons)
{
    show_dialog();
    state.active = fake_handle(0x100);
    follow_view(state, view);
    EXPECT_EQ(state.active, fake_handle(0x100)) << "a dialog already seen does not take the keys back";
    state.active = fake_handle(0x200);
    view.windows.pop_back();
    follow_view(state, view);
    EXPECT_EQ(state.active, fake_handle(0x100)) << "a closed dialog hands the keys to the main window";

    press(state, view, {alt('o'), ch('f')});
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
    press(state, view, {key(KeyKind::Tab)});
    EXPECT_EQ(state.box_button, 1);
    view.boxes = {box_view(4, "a", "b", MB_OKCANCEL)};
    follow_view(state, view);
    EXPECT_EQ(state.box_button, 0) << "a new box starts on its first button";
}

class TerminalClicks : public TerminalInput {
protected:
    std::vector<TerminalAction> click(int column, int row)
    {
        follow_view(state, view);
        const Composition shown = compose_screen(view, state, 100, 30);
        return handle_click(state, view, shown.hits, column, row);
    }
};

TEST_F(TerminalClicks, BarAndPopupItemsChooseOpenOrRefuseAsTheirKeysDo)
{
    expect_menu_command(click(30, 0), 102);  // on Drives...
    EXPECT_TRUE(click(20, 0).empty()) << "on the greyed Start";
    EXPECT_FALSE(state.menu.active);
    EXPECT_TRUE(click(46, 0).empty());
    EXPECT_EQ(state.menu.path, std::vector<int>({0})) << "Options opened";
    EXPECT_TRUE(click(48, 3).empty());
    EXPECT_EQ(state.menu.path, std::vector<int>({1, 0})) << "Line Size opened beside";
    expect_menu_command(click(64, 4), 140);  // on 32
    EXPECT_FALSE(state.menu.active);

    click(46, 0);
    EXPECT_TRUE(click(46, 0).empty());
    EXPECT_FALSE(state.menu.active) << "a second click on an open bar item closes it";
    click(46, 0);
    EXPECT_TRUE(click(5, 20).empty());
    EXPECT_FALSE(state.menu.active) << "a click elsewhere closes the menu and does nothing else";
}

TEST_F(TerminalClicks, DialogButtonsArePressedAndAClickMakesItsWindowActive)
{
    show_dialog();
    click(5, 3);
    EXPECT_EQ(state.active, fake_handle(0x100));
    const std::vector<TerminalAction> actions = click(55, 5);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, ActionKind::PressButton);
    EXPECT_EQ(actions[0].control, fake_handle(0x20c)) << "C: at column 5 of the dialog's row 2";
    EXPECT_EQ(state.active, fake_handle(0x200));
}

TEST_F(TerminalClicks, WhileABoxWaitsOnlyItsButtonsAnswer)
{
    view.boxes = {box_view(11, "Probe", "Caption", MB_OKCANCEL)};
    EXPECT_TRUE(click(30, 0).empty()) << "the menu bar is under the box's hold";
    EXPECT_FALSE(state.menu.active);
    const Composition shown = compose_screen(view, state, 100, 30);
    int cancel_column = -1;
    int cancel_row = -1;
    for (const Hit& hit : shown.hits) {
        if (hit.kind == HitKind::BoxButton && hit.answer == IDCANCEL) {
            cancel_column = hit.left + 2;
            cancel_row = hit.top;
        }
    }
    ASSERT_GE(cancel_column, 0);
    expect_answer(click(cancel_column, cancel_row), 11, IDCANCEL);
}

}  // namespace
