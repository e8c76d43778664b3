// MessageBoxA from any thread: the observer sees it first; then the headless
// backend answers at once (on standard error, repeats held back), or the box waits in the model until the backend
// answers it. Only the calling thread waits.
#include <cstdio>
#include <mutex>

#include "platform/clock.h"
#include "platform/ui/box_repeats.h"
#include "platform/ui/output_stream.h"
#include "platform/ui/ui_state.h"
#include "platform/ui_test_seams.h"

namespace {

std::mutex observer_mutex;
uint64_t last_box_serial = 0;

BoxRepeats& unanswered_boxes()
{
    static auto* repeats = new BoxRepeats();
    return *repeats;
}

MessageBoxObserver& current_observer()
{
    static auto* observer = new MessageBoxObserver();
    return *observer;
}

void tell_observer(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    MessageBoxObserver observer;
    {
        std::lock_guard<std::mutex> lock(observer_mutex);
        observer = current_observer();
    }
    if (observer) {
        observer(owner, text, caption, type);
    }
}

int wait_for_answer(HWND owner, const char* text, const char* caption, UINT type)
{
    PendingBox box;
    box.view = MessageBoxView{0, owner, text, caption, type};
    UiLock lock;
    box.view.serial = ++last_box_serial;
    lock.state.boxes.push_back(&box);
    ++lock.state.generation;
    // Let the backend see the box before this thread sleeps.
    lock.unlock();
    ui_notify_changed();
    lock.relock();
    lock.state.box_answered.wait(lock.guard, [&box] { return box.answered; });
    std::erase(lock.state.boxes, &box);
    lock.mark_changed();
    return box.answer;
}

}  // namespace

void set_message_box_observer(MessageBoxObserver observer)
{
    std::lock_guard<std::mutex> lock(observer_mutex);
    current_observer() = std::move(observer);
}

void ui_answer_message_box(uint64_t serial, int answer)
{
    UiLock lock;
    for (PendingBox* box : lock.state.boxes) {
        if (box->view.serial == serial && !box->answered) {
            box->answer = answer;
            box->answered = true;
            lock.mark_changed();
        }
    }
    lock.state.box_answered.notify_all();
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    const char* text = lpText != nullptr ? lpText : "";
    const char* caption = lpCaption != nullptr ? lpCaption : "Error";
    tell_observer(hWnd, lpText, lpCaption, uType);
    ui_start_backend();
    const UiBackend* backend = ui_state().backend.load(std::memory_order_acquire);
    if (backend != nullptr && backend->interactive_boxes) {
        return wait_for_answer(hWnd, text, caption, uType);
    }
    const std::string lines = unanswered_boxes().lines_for(caption, text, clock_now_ms());
    if (!lines.empty()) {
        write_to_stream(stderr, lines);
    }
    return IDOK;
}
