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
    for (size_t pos = 0; pos < at; ++column) {
        next_utf8(line, pos);
    }
    return column;
}

struct Place {
    int row;
    const char* text;
    int column;
};

void expect_places(const Frame& frame, std::initializer_list<Place> places)
{
    for (const Place& place : places) {
        EXPECT_EQ(column_of(frame, place.row, place.text), place.column) << place.text << " on row " << place.row;
    }
}

UiView view_with(std::vector<WindowView> windows)
{
    UiView view;
    view.windows = std::move(windows);
    return view;
}

TEST(TerminalCompose, TitleLineHasTheMenuWithMnemonicsUnderlinedGreyedItemsDimAndCellsKeepTheirTones)
{
    UiView view = view_with({main_window_view()});
    put_text(view.windows[0], 1, 3, "Task List", CellTone::Normal);
    put_text(view.windows[0], 31, 4, "3", CellTone::Red);
    put_text(view.windows[0], 37, 4, "Paused", CellTone::Reverse);
    put_text(view.windows[0], 0, 0, "x", CellTone::Dim);
    const Frame frame = compose_screen(view, TerminalState{}, 100, 30).frame;
    EXPECT_EQ(frame.row_text(4), "  Task List");
    EXPECT_EQ(column_of(frame, 5, "3"), 32);
    EXPECT_EQ(frame.at(2, 4).style, style_plain);
    EXPECT_EQ(frame.at(32, 5).style, style_red);
    EXPECT_EQ(frame.at(38, 5).style, style_reverse);
    EXPECT_EQ(frame.at(1, 1).style, style_dim);
    EXPECT_EQ(frame.row_text(0), " Durandex          Start  Drives...  Pause  Options  Quit  About");
    EXPECT_EQ(frame.at(19, 0).style, style_underline | style_dim) << "S of the greyed Start";
    EXPECT_EQ(frame.at(20, 0).style, style_dim);
    EXPECT_EQ(frame.at(26, 0).style, style_underline) << "D of Drives...";
    EXPECT_EQ(frame.at(27, 0).style, style_plain);
    EXPECT_EQ(frame.at(1, 0).style, style_bold) << "the title";

    view.busy = true;
    const Frame narrow = compose_screen(view, TerminalState{}, 64, 20).frame;
    EXPECT_EQ(narrow.row_text(0), " Durandex  Start  Drives...  Pause  Options  Quit  About (busy)");
    EXPECT_EQ(narrow.at(57, 0).style, style_reverse);
}

TEST(TerminalCompose, DialogSitsBesideTheMainWindowWhenItFitsAndOverItWithFocusShownWhileActive)
{
    const UiView view = view_with({main_window_view(), dialog_view()});
    TerminalState state;
    expect_places(compose_screen(view, state, 110, 30).frame,
                  {{1, " Drives ", 54}, {2, "[  Done  ]", 54}, {2, "[Unselect]", 67}, {4, "[C:]", 58},
                   {5, "[D:]", 58}, {6, "└", 52}});
    const Frame inactive = compose_screen(view, state, 100, 30).frame;
    expect_places(inactive, {{2, " Drives ", 50}, {3, "[  Done  ]", 50}});
    EXPECT_EQ(inactive.at(50, 3).style, style_plain);

    state.active = view.windows[1].handle;
    const Frame active = compose_screen(view, state, 100, 30).frame;
    EXPECT_EQ(active.at(50, 3).style, style_reverse) << "the focused Done";
    EXPECT_EQ(active.at(63, 3).style, style_plain) << "Unselect has no focus";
}

TEST(TerminalCompose, NestedPopupsShowCheckMarksArrowsAndTheSelectionAndStayOnTheScreen)
{
    TerminalState state;
    state.menu = MenuCursor{true, 3, {0, 1}};
    const Frame frame = compose_screen(view_with({main_window_view()}), state, 100, 30).frame;
    EXPECT_EQ(frame.at(44, 0).style, style_underline | style_reverse) << "Options is selected";
    // The inner pop-up opens beside the outer one at the row of its item.
    expect_places(frame, {{2, "File Flags", 47}, {2, "▶", 57}, {3, "Line Size", 47}, {3, "Normal", 63},
                          {4, "✓ Write Through", 61}, {5, "─", 60}, {6, "Sequential Scan", 63}});
    EXPECT_EQ(frame.at(63, 4).style, style_underline | style_reverse) << "selected, W underlined";
    EXPECT_EQ(frame.at(64, 6).style, style_underline) << "the e of S&equential";

    state.menu = MenuCursor{true, 3, {0}};
    const Frame narrow = compose_screen(view_with({main_window_view()}), state, 50, 20).frame;
    expect_places(narrow, {{2, "File Flags", 37}, {2, "│", 33}});
    EXPECT_EQ(narrow.at(49, 2).ch, U'│') << "17 columns wide, ending at the right edge";
}

TEST(TerminalCompose, OldestBoxIsCentredOverEverythingAndLongTextWraps)
{
    UiView view = view_with({main_window_view()});
    view.boxes = {box_view(4, "Line one\nLine two", "Durandex Error", MB_OK), box_view(5, "Second box", "Other", MB_OK)};
    const Frame frame = compose_screen(view, TerminalState{}, 100, 30).frame;
    expect_places(frame, {{11, " Durandex Error ", 40}, {13, "Line one", 40}, {14, "Line two", 40}, {16, "[ OK ]", 47}});
    EXPECT_EQ(frame.at(47, 16).style, style_reverse);
    for (int row = 0; row < 30; ++row) {
        EXPECT_EQ(column_of(frame, row, "Second box"), -1) << "one box at a time";
    }

    view = UiView{};
    view.boxes = {box_view(9, std::string(30, 'x'), "Question", MB_OKCANCEL)};
    TerminalState state;
    state.box_serial = 9;
    state.box_button = 1;
    const Frame small = compose_screen(view, state, 24, 12).frame;
    std::string wrapped;
    for (int row = 0; row < 12; ++row) {
        wrapped += column_of(small, row, "xxx") >= 0 ? small.row_text(row) + "\n" : "";
    }
    EXPECT_EQ(wrapped, "│ " + std::string(20, 'x') + " │\n│ " + std::string(10, 'x') + std::string(11, ' ') + "│\n");
    // Seven rows centred in twelve: the buttons are on the sixth, row 7.
    expect_places(small, {{7, "[ OK ]", 3}, {7, "[ Cancel ]", 11}});
    EXPECT_EQ(small.at(11, 7).style, style_reverse);
    EXPECT_EQ(small.at(3, 7).style, style_plain);
}

TEST(TerminalCompose, WritesOutsideTheFrameAreDroppedAndBadUtf8ComesThroughByteForByte)
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
