#include "app/EventQueue.h"

#include <exception>
#include <utility>

#include "app/Addresses.h"
#include "app/Messages.h"

namespace tallyhive {

EventQueue::EventQueue(UserInterface& ui, const ProgramInfo& program, std::function<std::string()> uiLanguage,
                       FailureLog log)
    : m_ui(ui), m_program(program), m_uiLanguage(std::move(uiLanguage)), m_log(std::move(log)) {}

void EventQueue::Post(Handler handler) noexcept {
    if (m_closed || !handler) return;
    try {
        m_waiting.push_back(std::move(handler));
    } catch (...) {
        // The event cannot even be kept: it is lost, and the user hears of it like of any failure.
        ReportFailure({});
        return;
    }
    if (m_busy) return;  // the loop below, one level up, picks it up once the running handler returns
    m_busy = true;
    while (!m_waiting.empty()) {
        Handler next = std::move(m_waiting.front());
        m_waiting.pop_front();
        Run(next);
    }
    m_busy = false;
}

void EventQueue::Close() noexcept {
    m_closed = true;
    m_waiting.clear();
}

void EventQueue::Run(Handler& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& error) {
        ReportFailure(error.what());
    } catch (...) {
        ReportFailure({});
    }
}

void EventQueue::ReportFailure(std::string_view what) noexcept {
    // The box waits for the user in a nested loop; the queue is still busy, so events that come in
    // meanwhile wait too. Whatever goes wrong in telling the user must not escape either.
    try {
        if (m_log) m_log(what);
    } catch (...) {
    }
    try {
        const std::string language = m_uiLanguage ? m_uiLanguage() : std::string();
        m_ui.ShowMessage(ProgramCaption(m_program.ProgramFilePath()), CommandFailureMessage(language),
                         MessageKind::Warning);
    } catch (...) {
    }
}

}  // namespace tallyhive
