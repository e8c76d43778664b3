// Behaviour across processes: termination signals as a command, and the
// single-instance lock seen from other processes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A signal as the command and a second one ending the run with 130 are seen
// in the program runs; before a main window there is no one to take it.
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

// The program's main window, as every instance makes it.
HWND make_instance_window()
{
    if (register_class("DurandexWClass", DefWindowProcA) == 0) {
        return nullptr;
    }
    return CreateWindowExA(0, "DurandexWClass", "Durandex", 0, 0, 0, 400, 140, nullptr, nullptr, nullptr, nullptr);
}

// A child running InstanceChild below, once it has made its window; its
// process id goes to `pid`.
FILE* start_instance_child(int* pid)
{
    FILE* output = popen(("exec " + std::filesystem::read_symlink("/proc/self/exe").string() +
                          " --gtest_filter=InstanceChild.DISABLED_HoldsTheInstance --gtest_also_run_disabled_tests")
                             .c_str(),
                         "r");
    char line[512];
    while (output != nullptr && std::fgets(line, sizeof line, output) != nullptr) {
        if (std::sscanf(line, "instance held by %d", pid) == 1) {
            break;
        }
    }
    return output;
}

// A second instance finding the first is seen in the program runs; a killed
// one must not keep the instance.
TEST_F(ProcessTest, TheInstanceIsFoundByClassAndTitleHereAndFromOtherProcessesUntilItsHolderIsKilled)
{
    HWND window = make_instance_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowA("durandexwclass", "Durandex"), window);
    EXPECT_EQ(FindWindowA("DurandexWClass", "durandex"), nullptr);
    DestroyWindow(window);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), nullptr);

    int pid = 0;
    FILE* child = start_instance_child(&pid);
    ASSERT_NE(child, nullptr);
    ASSERT_GT(pid, 0);
    EXPECT_NE(FindWindowA("DurandexWClass", "Durandex"), nullptr);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Other title"), nullptr);
    kill(pid, SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(pclose(child)));
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), nullptr);
}

// Run only in the child that start_instance_child starts.
TEST(InstanceChild, DISABLED_HoldsTheInstance)
{
    ASSERT_NE(make_instance_window(), nullptr);
    std::printf("instance held by %d\n", static_cast<int>(getpid()));
    std::fflush(stdout);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        DispatchMessageA(&message);
    }
}

}  // namespace
