// Common ground of the window system's tests: a headless window system started
// afresh for each test, a window class whose procedure records what it gets,
// and a private directory for instance locks.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/resources.h"
#include "platform/settings.h"
#include "platform/ui/backend.h"
#include "platform/ui_test_seams.h"
#include "platform/win32.h"
#include "tests/platform/conformance.h"

struct Recorded {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

inline ATOM register_class(const char* name, WNDPROC proc, const char* menu = nullptr)
{
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = proc;
    window_class.lpszClassName = name;
    window_class.lpszMenuName = menu;
    return RegisterClassA(&window_class);
}

// A rule drawn across a 400-pixel window, as text.
inline std::string rule_row()
{
    return " ────────────────────────────────────────────────";
}

class UiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setting_override(Setting::Ui, "headless");
        std::string pattern = "/tmp/uicore-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        instance_dir_ = pattern;
        setenv("DURANDEX_INSTANCE", instance_dir_.c_str(), 1);
        ui_reset();
        resources_clear();
        clock_set_scale(1);
        records().clear();
        ASSERT_NE(register_class("RecordingWindow", recording_proc), 0);
    }

    void TearDown() override
    {
        ui_reset();
        ui_use_backend(nullptr);
        std::filesystem::remove_all(instance_dir_);
    }

public:
    static std::vector<Recorded>& records()
    {
        static std::vector<Recorded> recorded;
        return recorded;
    }

    static LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    {
        records().push_back(Recorded{window, message, wparam, lparam});
        return DefWindowProcA(window, message, wparam, lparam);
    }

    // A visible window with a caption (20 pixels) and no menu.
    static HWND make_window(int width, int height, LPCSTR title = "Test")
    {
        return CreateWindowExA(0, "RecordingWindow", title, WS_CAPTION | WS_SYSMENU | WS_VISIBLE, CW_USEDEFAULT,
                               CW_USEDEFAULT, width, height, nullptr, nullptr, nullptr, nullptr);
    }

    // Takes and dispatches one message; false when the loop ends.
    static bool pump_one(MSG* message)
    {
        return GetMessageA(message, nullptr, 0, 0) && (DispatchMessageA(message), true);
    }

    // Dispatches messages until one with this id has been taken.
    static void pump_until(UINT id, MSG* message)
    {
        do {
            ASSERT_TRUE(pump_one(message));
        } while (message->message != id);
    }

    // The wparam of every recorded message with this id.
    static std::vector<UINT> recorded_messages(UINT message)
    {
        std::vector<UINT> found;
        for (const Recorded& record : records()) {
            if (record.message == message) {
                found.push_back(static_cast<UINT>(record.wparam));
            }
        }
        return found;
    }

    // What the model shows of a window; empty when it is not shown.
    static WindowView view_of(HWND window)
    {
        for (const WindowView& view : ui_view().windows) {
            if (view.handle == window) {
                return view;
            }
        }
        return WindowView{};
    }

protected:
    std::string instance_dir_;
};
