// Behaviour across processes: termination signals as a command, and the
// single-instance lock seen from other processes.
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>

#include "tests/ui/ui_fixture.h"

namespace {

constexpr UINT quit_command = 100;

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

TEST_F(ProcessTest, ASignalBecomesTheCommandAndASecondOneOrOneWithoutAMainWindowEndsTheProcessWith130)
{
    EXPECT_EXIT(run_until_second_signal(), testing::ExitedWithCode(130), "command 100");
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

// A child process running InstanceChild below: whether it found a running
// instance or started one ("found", "started"), and its process id.
struct Child {
    FILE* output = nullptr;
    pid_t pid = -1;
    std::string marker;
};

Child spawn_instance(const std::string& instance_dir)
{
    setenv("DURANDEX_INSTANCE", instance_dir.c_str(), 1);
    const std::string command = "exec " + std::filesystem::read_symlink("/proc/self/exe").string() +
                                " --gtest_filter=InstanceChild.DISABLED_FindsOrHoldsTheInstance"
                                " --gtest_also_run_disabled_tests";
    Child child;
    child.output = popen(command.c_str(), "r");
    char line[512];
    char word[16];
    while (child.output != nullptr && std::fgets(line, sizeof line, child.output) != nullptr) {
        if (std::sscanf(line, "instance: %15s %d", word, &child.pid) == 2) {
            child.marker = word;
            break;
        }
    }
    return child;
}

// The child's wait status, after the signal if there is one.
int end_child(const Child& child, int signal_number)
{
    if (child.output == nullptr) {
        return -1;
    }
    if (signal_number != 0) {
        kill(child.pid, signal_number);
    }
    // Read to the end, so that a child that ends by itself is not cut short.
    for (char rest[512]; std::fgets(rest, sizeof rest, child.output) != nullptr;) {
    }
    return pclose(child.output);
}

TEST_F(ProcessTest, ASecondInstanceFindsTheFirstUntilTheFirstIsKilled)
{
    const Child first = spawn_instance(instance_dir_);
    ASSERT_EQ(first.marker, "started");
    EXPECT_NE(FindWindowA("DurandexWClass", "Durandex"), nullptr);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Other title"), nullptr);

    const Child second = spawn_instance(instance_dir_);
    EXPECT_EQ(second.marker, "found");
    EXPECT_TRUE(WIFEXITED(end_child(second, 0)));
    EXPECT_TRUE(WIFSIGNALED(end_child(first, SIGKILL)));
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), nullptr);

    const Child third = spawn_instance(instance_dir_);
    EXPECT_EQ(third.marker, "started");
    end_child(third, SIGKILL);
}

// The program's main window, as every instance makes it.
HWND make_instance_window()
{
    if (register_class("DurandexWClass", DefWindowProcA) == 0) {
        return nullptr;
    }
    return CreateWindowExA(0, "DurandexWClass", "Durandex", 0, 0, 0, 400, 140, nullptr, nullptr, nullptr,
                           nullptr);
}

TEST_F(ProcessTest, TheProcessFindsItsOwnWindowByClassAndTitle)
{
    HWND window = make_instance_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), window);
    EXPECT_EQ(FindWindowA("durandexwclass", "Durandex"), window);
    EXPECT_EQ(FindWindowA("DurandexWClass", "durandex"), nullptr);
    DestroyWindow(window);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), nullptr);
}

// Run only in the children that spawn_instance starts.
TEST(InstanceChild, DISABLED_FindsOrHoldsTheInstance)
{
    const bool found = FindWindowA("DurandexWClass", "Durandex") != nullptr;
    ASSERT_TRUE(found || make_instance_window() != nullptr);
    std::printf("instance: %s %d\n", found ? "found" : "started", static_cast<int>(getpid()));
    std::fflush(stdout);
    MSG message;
    while (!found && GetMessageA(&message, nullptr, 0, 0)) {
        DispatchMessageA(&message);
    }
}

}  // namespace
