// Behaviour across processes: termination signals as a command, and the
// single-instance lock seen from other processes.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>

#include "tests/ui/ui_fixture.h"

extern char** environ;

namespace {

constexpr UINT quit_command = 100;
constexpr const char* instance_marker = "instance: ";

class ProcessTest : public UiTest {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        UiTest::SetUp();
    }
};

void run_until_second_signal()
{
    HWND window = UiTest::make_window(400, 140, "Durandex");
    ui_set_signal_command(quit_command);
    raise(SIGINT);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        if (message.hwnd == window && message.message == WM_COMMAND && LOWORD(message.wParam) == quit_command) {
            std::fprintf(stderr, "command %u\n", quit_command);
            std::fflush(stderr);
            raise(SIGTERM);
        }
        DispatchMessageA(&message);
    }
    std::exit(1);
}

TEST_F(ProcessTest, ASignalBecomesTheCommandAndASecondOneEndsTheProcessWith130)
{
    EXPECT_EXIT(run_until_second_signal(), testing::ExitedWithCode(130), "command 100");
}

TEST_F(ProcessTest, ASignalWithoutAMainWindowEndsTheProcessWith130)
{
    EXPECT_EXIT(
        {
            ui_set_signal_command(quit_command);
            raise(SIGHUP);
            for (;;) {
                pause();
            }
        },
        testing::ExitedWithCode(130), "");
}

// A child process running InstanceChild below; its marker line says whether
// it found a running instance or started one.
struct Child {
    pid_t pid = -1;
    int output = -1;
};

Child spawn_instance(const std::string& instance_dir)
{
    Child child;
    int ends[2];
    if (pipe(ends) != 0) {
        return child;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    std::string filter = "--gtest_filter=InstanceChild.DISABLED_FindsOrHoldsTheInstance";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {const_cast<char*>("/proc/self/exe"), filter.data(), disabled.data(), nullptr};
    setenv("DURANDEX_INSTANCE", instance_dir.c_str(), 1);
    setenv("DURANDEX_UI", "headless", 1);
    if (posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr, argv, environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    child.output = ends[0];
    return child;
}

// The child's marker word, read with a generous deadline.
std::string marker_of(const Child& child)
{
    std::string seen;
    char buffer[256];
    pollfd wait_for{child.output, POLLIN, 0};
    while (poll(&wait_for, 1, 30000) > 0) {
        const ssize_t count = read(child.output, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        seen.append(buffer, static_cast<size_t>(count));
        const size_t at = seen.find(instance_marker);
        if (at != std::string::npos && seen.find('\n', at) != std::string::npos) {
            const size_t start = at + strlen(instance_marker);
            return seen.substr(start, seen.find('\n', at) - start);
        }
    }
    return "no marker in: " + seen;
}

int end_child(Child* child, int signal_number)
{
    if (signal_number != 0) {
        kill(child->pid, signal_number);
    }
    int status = 0;
    waitpid(child->pid, &status, 0);
    close(child->output);
    return status;
}

TEST_F(ProcessTest, ASecondInstanceFindsTheFirstUntilTheFirstIsKilled)
{
    Child first = spawn_instance(instance_dir_);
    ASSERT_GT(first.pid, 0);
    ASSERT_EQ(marker_of(first), "started");
    EXPECT_NE(FindWindowA("DurandexWClass", "Durandex"), nullptr);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Other title"), nullptr);

    Child second = spawn_instance(instance_dir_);
    ASSERT_GT(second.pid, 0);
    EXPECT_EQ(marker_of(second), "found");
    const int second_status = end_child(&second, 0);
    EXPECT_TRUE(WIFEXITED(second_status));

    const int first_status = end_child(&first, SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(first_status));
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), nullptr);

    Child third = spawn_instance(instance_dir_);
    ASSERT_GT(third.pid, 0);
    EXPECT_EQ(marker_of(third), "started");
    end_child(&third, SIGKILL);
}

TEST_F(ProcessTest, TheProcessFindsItsOwnWindowByClassAndTitle)
{
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.lpszClassName = "DurandexWClass";
    ASSERT_NE(RegisterClassA(&window_class), 0);
    HWND window = CreateWindowExA(0, "DurandexWClass", "Durandex", 0, 0, 0, 400, 140, nullptr,
                                  nullptr, nullptr, nullptr);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), window);
    EXPECT_EQ(FindWindowA("durandexwclass", "Durandex"), window);
    EXPECT_EQ(FindWindowA("DurandexWClass", "durandex"), nullptr);
    DestroyWindow(window);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), nullptr);
}

// Run only as the child of the test above.
TEST(InstanceChild, DISABLED_FindsOrHoldsTheInstance)
{
    if (FindWindowA("DurandexWClass", "Durandex") != nullptr) {
        std::printf("%sfound\n", instance_marker);
        std::fflush(stdout);
        return;
    }
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.lpszClassName = "DurandexWClass";
    ASSERT_NE(RegisterClassA(&window_class), 0);
    ASSERT_NE(CreateWindowExA(0, "DurandexWClass", "Durandex", 0, 0, 0, 400, 140, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    std::printf("%sstarted\n", instance_marker);
    std::fflush(stdout);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        DispatchMessageA(&message);
    }
}

}  // namespace
