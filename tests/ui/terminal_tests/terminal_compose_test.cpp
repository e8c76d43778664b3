#include <gtest/gtest.h>

#include "platform/ui/terminal_compose.h"
#include "view_builders.h"

namespace {

// The column where `text` starts on a row of the frame, or -1.
int column_of(const Frame& frame, int row, const std::string& text)
{
    const std::string line = frame.row_text(row);
    const size_t at = line.find(text);
    if (at == std::string::npos) {
        return -1;
    }
    // Columns count characters, not bytes.
    int column = 0;
    for (size_t pos = 0; pos < at;) {
        next_utf8(line, pos);
        ++column;
    }
    return column;
}

UiView view_with(std::vector<WindowView> windows)
{
    UiView view;
    view.windows = std::move(windows);
    return view;
}

TEST(TerminalTitleLine, MenuBarFollowsTheTitleWithMnemonicsUnderlinedAndGreyedItemsDim)
{
    const Composition shown = compose_screen(view_with({main_window_view()}), TerminalState{}, 100, 30);
    EXPECT_EQ(shown.frame.row_text(0),
              " Durandex          Start  Drives...  Pause  Options  Quit  About");
    const Frame& frame = shown.frame;
    EXPECT_EQ(frame.at(19, 0).style, style_underline | style_dim) << "S of the greyed Start";
    EXPECT_EQ(frame.at(20, 0).style, style_dim);
    EXPECT_EQ(frame.at(26, 0).style, style_underline) << "D of Drives...";
    EXPECT_EQ(frame.at(27, 0).style, style_plain);
    EXPECT_EQ(frame.at(1, 0).style, style_bold) << "the title";
}

TEST(TerminalTitleLine, NarrowScreenKeepsTheMenuCloseToTheTitleAndTheBusyMarkAtTheEnd)
{
    UiView view = view_with({main_window_view()});
    view.busy = true;
    const Composition shown = compose_screen(view, TerminalState{}, 64, 20);
    EXPECT_EQ(shown.frame.row_text(0), " Durandex  Start  Drives...  Pause  Options  Quit  About (busy)");
    EXPECT_EQ(shown.frame.at(57, 0).style, style_reverse);

    view.busy = false;
    EXPECT_EQ(compose_screen(view, TerminalState{}, 64, 20).frame.row_text(0).find("busy"),
              std::string::npos);
}

TEST(TerminalMainWindow, CellsAppearUnderTheTitleWithTheirTones)
{
    WindowView main = main_window_view();
    put_text(main, 1, 3, "Task List", CellTone::Normal);
    put_text(main, 31, 4, "3", CellTone::Red);
    put_text(main, 37, 4, "Paused", CellTone::Reverse);
    put_text(main, 0, 0, "x", CellTone::Dim);
    const Frame frame = compose_screen(view_with({main}), TerminalState{}, 100, 30).frame;
    EXPECT_EQ(frame.row_text(4), "  Task List");
    EXPECT_EQ(column_of(frame, 5, "3"), 32);
    EXPECT_EQ(frame.at(32, 5).style, style_red);
    EXPECT_EQ(frame.at(38, 5).style, style_reverse);
    EXPECT_EQ(frame.at(1, 1).style, style_dim);
    EXPECT_EQ(frame.at(2, 4).style, style_plain);
}

TEST(TerminalDialog, SitsBesideTheMainWindowWhenTheScreenIsWideEnough)
{
    const Frame frame = compose_screen(view_with({main_window_view(), dialog_view()}), TerminalState{}, 110, 30).frame;
    EXPECT_EQ(column_of(frame, 1, " Drives "), 54);
    EXPECT_EQ(column_of(frame, 2, "[  Done  ]"), 54);
    EXPECT_EQ(column_of(frame, 2, "[Unselect]"), 67);
    EXPECT_EQ(column_of(frame, 4, "[C:]"), 58);
    EXPECT_EQ(column_of(frame, 5, "[D:]"), 58);
    EXPECT_EQ(column_of(frame, 6, "└"), 52) << "the frame closes below the client area";
}

TEST(TerminalDialog, GoesOverTheMainWindowWhenNarrowAndShowsFocusOnlyWhileActive)
{
    const UiView view = view_with({main_window_view(), dialog_view()});
    TerminalState state;
    const Frame inactive = compose_screen(view, state, 100, 30).frame;
    EXPECT_EQ(column_of(inactive, 2, " Drives "), 50);
    EXPECT_EQ(column_of(inactive, 3, "[  Done  ]"), 50);
    EXPECT_EQ(inactive.at(50, 3).style, style_plain);

    state.active = view.windows[1].handle;
    const Frame active = compose_screen(view, state, 100, 30).frame;
    EXPECT_EQ(active.at(50, 3).style, style_reverse) << "the focused Done";
    EXPECT_EQ(active.at(63, 3).style, style_plain) << "Unselect has no focus";
}

TEST(TerminalPopups, NestedPopupsShowCheckMarksSubmenuArrowsAndTheSelection)
{
    TerminalState state;
    state.menu = MenuCursor{true, 3, {0, 1}};
    const Frame frame = compose_screen(view_with({main_window_view()}), state, 100, 30).frame;
    EXPECT_EQ(frame.at(44, 0).style, style_underline | style_reverse) << "Options is selected";
    EXPECT_EQ(column_of(frame, 2, "File Flags"), 47);
    EXPECT_EQ(column_of(frame, 2, "▶"), 57);
    EXPECT_EQ(column_of(frame, 3, "Line Size"), 47);
    // The inner pop-up opens beside the outer one at the row of its item.
    EXPECT_EQ(column_of(frame, 3, "Normal"), 63);
    EXPECT_EQ(column_of(frame, 4, "✓ Write Through"), 61);
    EXPECT_EQ(frame.at(63, 4).style, style_underline | style_reverse) << "selected, W underlined";
    EXPECT_EQ(column_of(frame, 5, "─"), 60) << "the separator";
    EXPECT_EQ(column_of(frame, 6, "Sequential Scan"), 63);
    EXPECT_EQ(frame.at(64, 6).style, style_underline) << "the e of S&equential";
}

TEST(TerminalPopups, APopupThatWouldLeaveTheScreenIsPulledBackInside)
{
    TerminalState state;
    state.menu = MenuCursor{true, 3, {0}};
    const Frame frame = compose_screen(view_with({main_window_view()}), state, 50, 20).frame;
    EXPECT_EQ(column_of(frame, 2, "File Flags"), 37);
    EXPECT_EQ(column_of(frame, 2, "│"), 33) << "17 columns wide, ending at the right edge";
    EXPECT_EQ(frame.at(49, 2).ch, U'│');
}

TEST(TerminalMessageBox, OldestBoxIsCentredOverEverythingWithItsButtons)
{
    UiView view = view_with({main_window_view()});
    view.boxes = {box_view(4, "Line one\nLine two", "Durandex Error", MB_OK),
                  box_view(5, "Second box", "Other", MB_OK)};
    const Frame frame = compose_screen(view, TerminalState{}, 100, 30).frame;
    EXPECT_EQ(column_of(frame, 11, " Durandex Error "), 40);
    EXPECT_EQ(column_of(frame, 13, "Line one"), 40);
    EXPECT_EQ(column_of(frame, 14, "Line two"), 40);
    EXPECT_EQ(column_of(frame, 16, "[ OK ]"), 47);
    EXPECT_EQ(frame.at(47, 16).style, style_reverse);
    for (int row = 0; row < 30; ++row) {
        EXPECT_EQ(frame.row_text(row).find("Second box"), std::string::npos) << "one box at a time";
    }
}

TEST(TerminalMessageBox, OkCancelShowsTheChosenButtonAndLongTextWraps)
{
    UiView view;
    view.boxes = {box_view(9, std::string(30, 'x'), "Question", MB_OKCANCEL)};
    TerminalState state;
    state.box_serial = 9;
    state.box_button = 1;
    const Frame frame = compose_screen(view, state, 24, 12).frame;
    std::string wrapped;
    for (int row = 0; row < 12; ++row) {
        const std::string line = frame.row_text(row);
        if (line.find("xxx") != std::string::npos) {
            wrapped += line + "\n";
        }
    }
    EXPECT_EQ(wrapped, "│ " + std::string(20, 'x') + " │\n│ " + std::string(10, 'x') + std::string(11, ' ') + "│\n");
    // Seven rows centred in twelve: the buttons are on the sixth, row 7.
    EXPECT_EQ(column_of(frame, 7, "[ OK ]"), 3);
    EXPECT_EQ(column_of(frame, 7, "[ Cancel ]"), 11);
    EXPECT_EQ(frame.at(11, 7).style, style_reverse);
    EXPECT_EQ(frame.at(3, 7).style, style_plain);
}

TEST(TerminalFrame, WritesOutsideAreDroppedAndBadUtf8ComesThroughByteForByte)
{
    Frame frame(4, 2);
    frame.text(2, 1, "abcdef", style_plain);
    frame.put(-1, 0, U'z', style_plain);
    frame.put(0, 5, U'z', style_plain);
    EXPECT_EQ(frame.row_text(0), "");
    EXPECT_EQ(frame.row_text(1), "  ab");

    const std::string latin = "\xE9t\xE2\x94";
    size_t pos = 0;
    EXPECT_EQ(next_utf8(latin, pos), U'\u00E9');
    EXPECT_EQ(next_utf8(latin, pos), U't');
    EXPECT_EQ(next_utf8(latin, pos), U'\u00E2') << "a cut-off sequence is not read past the end";
    EXPECT_EQ(pos, 3u);
}

}  // namespace
