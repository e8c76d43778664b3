// Acting as another user (65534, nobody) in a child process, as a hostile
// local user would on a shared machine. Needs root.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

constexpr uid_t other_user = 65534;

// Runs `act` in a child that is the other user; true when it succeeded. With
// `hold`, the child stays alive, keeping what it opened (a lock), and its id
// goes to *holder for the caller to end.
inline bool as_other_user(const std::function<bool()>& act, pid_t* holder = nullptr)
{
    int ready[2];
    if (pipe(ready) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        const bool done = setresgid(other_user, other_user, other_user) == 0 &&
                          setresuid(other_user, other_user, other_user) == 0 && act();
        const char answer = done ? '1' : '0';
        [[maybe_unused]] const ssize_t written = write(ready[1], &answer, 1);
        while (holder != nullptr) {
            pause();
        }
        _exit(0);
    }
    close(ready[1]);
    char answer = '0';
    [[maybe_unused]] const ssize_t got = read(ready[0], &answer, 1);
    close(ready[0]);
    if (holder != nullptr) {
        *holder = child;
    } else {
        waitpid(child, nullptr, 0);
    }
    return answer == '1';
}
