#pragma once
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "app/AppServices.h"

namespace tallyhive {

// The host's page events (clicks, page arrivals), run one at a time. A handler may wait in a nested
// loop (a message box, a script answer, a measurement): an event that comes in meanwhile, even from
// inside that loop, waits until the running handler has returned, and events run in the order they
// came in.
//
// A handler that throws ends its command as a failure: the user is told in their language, and the
// next event runs as usual. Nothing leaves the queue, so no exception unwinds into the browser
// control or the toolkit that delivered the event.
class EventQueue {
public:
    using Handler = std::function<void()>;
    // Told what a failed handler threw (empty for anything but a std::exception), for the host's log.
    using FailureLog = std::function<void(std::string_view what)>;

    EventQueue(UserInterface& ui, const ProgramInfo& program, std::function<std::string()> uiLanguage,
               FailureLog log = {});
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // Runs `handler`, and then whatever came in while it ran, when no handler runs now; otherwise
    // queues it behind the others. Does nothing once the queue is closed.
    void Post(Handler handler) noexcept;
    // True while a handler runs, nested loops included.
    bool Busy() const { return m_busy; }
    // The window is closing: queued events are dropped and later ones refused. The running handler
    // (if any) still finishes.
    void Close() noexcept;
    bool Closed() const { return m_closed; }

private:
    void Run(Handler& handler) noexcept;
    void ReportFailure(std::string_view what) noexcept;

    UserInterface& m_ui;
    const ProgramInfo& m_program;
    std::function<std::string()> m_uiLanguage;
    FailureLog m_log;
    std::deque<Handler> m_waiting;
    bool m_busy = false;
    bool m_closed = false;
};

}  // namespace tallyhive
