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

// A child process running InstanceChild below, which prints whether it found
// a running instance or started one, and its process id.
struct Child {
    FILE* output = nullptr;
    pid_t pid = -1;
    std::string marker;

    explicit Child(const std::string& instance_dir)
    {
        setenv("DURANDEX_INSTANCE", instance_dir.c_str(), 1);
        output = popen(("exec " + std::filesystem::read_symlink("/proc/self/exe").string() +
                        " --gtest_filter=InstanceChild.DISABLED_FindsOrHoldsTheInstance --gtest_also_run_disabled_tests")
                           .c_str(),
                       "r");
        char line[512];
        char word[16];
        while (output != nullptr && std::fgets(line, sizeof line, output) != nullptr) {
            if (std::sscanf(line, "instance: %15s %d", word, &pid) == 2) {
                marker = word;
                break;
            }
        }
    }

    // The wait status, after the signal if there is one; the rest of the
    // output is read so that a child that ends by itself is not cut short.
    int end(int signal_number)
    {
        if (output == nullptr) {
            return -1;
        }
        if (signal_number != 0) {
            kill(pid, signal_number);
        }
        for (char rest[512]; std::fgets(rest, sizeof rest, output) != nullptr;) {
        }
        return pclose(output);
    }
};

TEST_F(ProcessTest, TheInstanceIsFoundByClassAndTitleHereAndFromOtherProcessesUntilItsHolderIsKilled)
{
    HWND window = make_instance_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowA("durandexwclass", "Durandex"), window);
    EXPECT_EQ(FindWindowA("DurandexWClass", "durandex"), nullptr);
    DestroyWindow(window);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), nullptr);

    Child first(instance_dir_);
    ASSERT_EQ(first.marker, "started");
    EXPECT_NE(FindWindowA("DurandexWClass", "Durandex"), nullptr);
    EXPECT_EQ(FindWindowA("DurandexWClass", "Other title"), nullptr);
    Child second(instance_dir_);
    EXPECT_EQ(second.marker, "found");
    EXPECT_TRUE(WIFEXITED(second.end(0)));
    EXPECT_TRUE(WIFSIGNALED(first.end(SIGKILL)));
    EXPECT_EQ(FindWindowA("DurandexWClass", "Durandex"), nullptr);
    Child third(instance_dir_);
    EXPECT_EQ(third.marker, "started");
    third.end(SIGKILL);
}

// Run only in the children that Child starts.
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
