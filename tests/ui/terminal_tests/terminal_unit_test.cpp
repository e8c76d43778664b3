// The terminal backend's pure parts on hand-made copies of the model: the
// screen composed, keys decoded, and keys turned into actions.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "platform/ui/terminal/terminal_compose.h"
#include "platform/ui/terminal/terminal_input.h"
#include "tmux_session.h"

namespace {

const HWND main_handle = reinterpret_cast<HWND>(0x100);
const HWND dialog_handle = reinterpret_cast<HWND>(0x200);

MenuItemView item(const std::string& text, UINT id, bool greyed = false, bool checked = false)
{
    return {text, id, greyed, checked, false, false, {}};
}

MenuItemView popup(const std::string& text, std::vector<MenuItemView> items)
{
    return {text, 0, false, false, false, true, std::move(items)};
}

// A window 50 cells wide: the main window, or a dialog it owns.
WindowView window_view(HWND handle, const char* title, int rows)
{
    WindowView window{};
    window.handle = handle;
    window.title = title;
    window.cols = 50;
    window.rows = rows;
    window.cells.resize(static_cast<size_t>(50 * rows));
    window.dialog = handle == dialog_handle;
    window.owner = window.dialog ? main_handle : nullptr;
    return window;
}

// A main window of 50 x 5 cells with the program's kind of menu bar.
WindowView main_window_view()
{
    WindowView window = window_view(main_handle, "Durandex", 5);
    const MenuItemView separator{"", 0, false, false, true, false, {}};
    window.menu = {item("&Start", 101, true), item("&Drives...", 102), item("&Pause", 104, true),
                   popup("&Options", {popup("&File Flags", {item("&Normal", 130), item("&Write Through", 131, false, true),
                                                           separator, item("S&equential Scan", 133)}),
                                      popup("&Line Size", {item("&32", 140), item("&64", 141, false, true)})}),
                   item("&Quit", 100), item("&About", 103)};
    return window;
}

// The menu bar's mnemonics and greying, dialogs and boxes by key and mouse,
// and resizing are seen end to end in the durandex and probe terminal tests;
// these pin what those do not reach.
TEST(TerminalCompose, CellTonesTheBusyMarkAndAPopupKeptOnANarrowScreen)
{
    UiView view;
    view.windows = {main_window_view()};
    const std::pair<CellTone, std::uint8_t> tones[] = {{CellTone::Normal, style_plain}, {CellTone::Red, style_red},
                                                       {CellTone::Reverse, style_reverse}, {CellTone::Dim, style_dim}};
    for (size_t i = 0; i < std::size(tones); ++i) {
        view.windows[0].cells[i * 2] = {U'x', tones[i].first};
    }
    view.busy = true;
    const Frame frame = compose_screen(view, TerminalState{}, 64, 20).frame;
    EXPECT_EQ(frame.row_text(0), " Durandex  Start  Drives...  Pause  Options  Quit  About (busy)");
    for (size_t i = 0; i < std::size(tones); ++i) {
        EXPECT_EQ(frame.at(static_cast<int>(i * 2 + 1), 1).style, tones[i].second) << i;
    }

    TerminalState state;
    state.menu = MenuCursor{true, 3, {0}};
    const Frame narrow = compose_screen(view, state, 50, 20).frame;
    EXPECT_EQ(locate(narrow.row_text(2), "File Flags").first, 37);
    EXPECT_EQ(locate(narrow.row_text(2), "│").first, 33);
    EXPECT_EQ(narrow.at(49, 2).ch, U'│') << "17 columns wide, ending at the right edge";
    EXPECT_EQ(narrow.at(37, 2).style, style_underline | style_reverse) << "selected, F underlined";
}

TEST(TerminalCompose, TheOldestBoxIsCentredAloneWithItsChosenButtonShownAndLongTextWraps)
{
    UiView view;
    view.boxes = {{9, nullptr, std::string(30, 'x'), "Question", MB_OKCANCEL}, {10, nullptr, "Later", "Other", MB_OK}};
    TerminalState state;
    state.box_serial = 9;
    state.box_button = 1;
    const Frame small = compose_screen(view, state, 24, 12).frame;
    // Seven rows centred in twelve: the text on the third and fourth, the buttons on the sixth.
    EXPECT_EQ(small.row_text(4) + "\n" + small.row_text(5),
              "│ " + std::string(20, 'x') + " │\n│ " + std::string(10, 'x') + std::string(11, ' ') + "│");
    EXPECT_EQ(locate(small.row_text(7), "[ OK ]").first, 3);
    EXPECT_EQ(locate(small.row_text(7), "[ Cancel ]").first, 11);
    EXPECT_EQ(locate(small.row_text(4), "Later").first, -1);
    EXPECT_EQ(small.at(11, 7).style, style_reverse);
    EXPECT_EQ(small.at(3, 7).style, style_plain);

    const std::string latin = "\xE9t\xE2\x94";
    size_t pos = 0;
    EXPECT_EQ(std::u32string({next_utf8(latin, pos), next_utf8(latin, pos), next_utf8(latin, pos)}), U"\u00E9t\u00E2")
        << "bad UTF-8 comes through byte for byte; a cut-off sequence is not read past the end";
    EXPECT_EQ(pos, 3u);
}

// Keys that curses reads are seen in the durandex and probe terminal tests.
TEST(TerminalKeys, UnusedReadsAreNoKeys)
{
    TerminalKey key{};
    EXPECT_FALSE(decode_single_key(raw_char(0x7F), key)) << "Delete is not used";
    EXPECT_FALSE(decode_single_key(raw_char(0xE9), key)) << "non-ASCII letters are no mnemonics";
    EXPECT_FALSE(decode_single_key(raw_timeout(), key));
}

// Key names: a letter, "M-x" for Alt with it, or a named key.
TerminalKey key_named(const std::string& name)
{
    static const std::map<std::string, KeyKind> named = {
        {"F10", KeyKind::F10},     {"AltF4", KeyKind::AltF4}, {"Up", KeyKind::Up},       {"Down", KeyKind::Down},
        {"Left", KeyKind::Left},   {"Right", KeyKind::Right}, {"Tab", KeyKind::Tab},     {"Enter", KeyKind::Enter},
        {"Space", KeyKind::Space}, {"Esc", KeyKind::Escape},  {"C-c", KeyKind::Interrupt}};
    if (name.size() == 3 && name.starts_with("M-")) {
        return {KeyKind::AltChar, name[2]};
    }
    const auto found = named.find(name);
    return found != named.end() ? TerminalKey{found->second, 0} : TerminalKey{KeyKind::Char, name[0]};
}

class TerminalInput : public ::testing::Test {
protected:
    void SetUp() override { show({main_window_view()}); }

    void show(std::vector<WindowView> windows, std::vector<MessageBoxView> boxes = {})
    {
        view.windows = std::move(windows);
        view.boxes = std::move(boxes);
        follow_view(state, view);
    }

    // What the actions of the last key ask for, then the state of the menu:
    // "choose main 102 closed", "bar 3 path 1 0".
    std::string step(const std::string& keys)
    {
        std::vector<TerminalAction> actions;
        std::istringstream words(keys);
        for (std::string word; words >> word;) {
            actions = handle_key(state, view, key_named(word));
        }
        std::ostringstream out;
        for (const TerminalAction& action : actions) {
            const char* kinds[] = {"choose", "press", "post", "answer", "interrupt"};
            out << kinds[static_cast<int>(action.kind)] << " "
                << (action.window == main_handle ? "main" : action.window == dialog_handle ? "dialog" : "-") << " ";
            switch (action.kind) {
            case ActionKind::ChooseMenuItem: out << action.id; break;
            case ActionKind::PressButton: out << action.control; break;
            case ActionKind::PostMessage: out << action.message << " " << action.wparam; break;
            case ActionKind::AnswerBox: out << action.serial << " " << action.answer; break;
            case ActionKind::Interrupt: break;
            }
            out << " ";
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

    // Each row's keys are sent in order; the expectation is on the last one.
    void expect_steps(std::initializer_list<std::pair<const char*, const char*>> steps)
    {
        for (const auto& [keys, expected] : steps) {
            EXPECT_EQ(step(keys), expected) << keys;
        }
    }

    UiView view;
    TerminalState state;
};

// Mnemonics, Escape and greyed items in popups are seen in the terminal runs.
TEST_F(TerminalInput, ArrowsAndF10WalkTheBarAndNestedPopupsSkippingSeparatorsAndGreyedItems)
{
    expect_steps({{"s", "closed"}, {"F10", "bar 0 path"}, {"Left", "bar 5 path"},
                  {"Right Right Right Right Down", "bar 3 path 0"}, {"Right Down Down", "bar 3 path 0 3"},
                  {"Down", "bar 3 path 0 0"}, {"Up Enter", "choose main 133 closed"}, {"M-o Right", "bar 3 path 0 0"},
                  {"Esc Down Right", "bar 3 path 1 0"}, {"Left", "bar 3 path 1"}, {"Left", "bar 2 path"}});
    view.windows[0].menu[3].items[1].items[0].greyed = true;
    expect_steps({{"Esc M-o l 3", "bar 3 path 1 0"}, {"Enter", "bar 3 path 1 0"}});
}

// A dialog's own keys and Enter on a box are seen in the terminal runs.
TEST_F(TerminalInput, AltReachesTheMenuFromADialogAndBoxesTakeEveryKeyAnsweringAsTheirButtonsAllow)
{
    show({main_window_view(), window_view(dialog_handle, "Drives", 4)});
    EXPECT_EQ(state.active, dialog_handle) << "a new dialog takes the keys";
    expect_steps({{"M-d", "choose main 102 closed"}, {"AltF4", "post dialog 256 27 closed"}});
    state.active = main_handle;
    EXPECT_EQ(step("M-o AltF4"), "post main 16 0 closed");
    show({main_window_view()}, {{7, nullptr, "text", "Durandex Error", MB_OK}});
    expect_steps({{"q", "closed"}, {"Esc", "answer - 7 1 closed"}, {"C-c", "interrupt -  closed"}});
    show({main_window_view()}, {{8, nullptr, "text", "Question", MB_OKCANCEL}});
    expect_steps({{"Esc", "answer - 8 2 closed"}, {"Tab Space", "answer - 8 2 closed"}, {"Left Enter", "answer - 8 1 closed"}});
}

// A closed dialog handing the keys back is seen in the terminal runs.
TEST_F(TerminalInput, FollowingTheModelKeepsActivityClosesVanishedMenusAndResetsBoxButtons)
{
    show({main_window_view(), window_view(dialog_handle, "Drives", 4)});
    state.active = main_handle;
    show(view.windows);
    EXPECT_EQ(state.active, main_handle) << "a dialog already seen does not take the keys back";
    ASSERT_EQ(step("M-o f"), "bar 3 path 0 0");
    view.windows[0].menu[3].items[0] = item("&File Flags", 0);
    show(view.windows);
    EXPECT_EQ(state.menu.path, std::vector<int>({0}));
    view.windows[0].menu.resize(2);
    show(view.windows);
    EXPECT_FALSE(state.menu.active);
    for (const uint64_t serial : {3, 4}) {
        show(view.windows, {{serial, nullptr, "a", "b", MB_OKCANCEL}});
        EXPECT_EQ(state.box_button, 0) << "a new box starts on its first button";
        step("Tab");
        EXPECT_EQ(state.box_button, 1);
    }
}

}  // namespace
