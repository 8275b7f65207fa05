#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "app/AppServices.h"

namespace tallyhive {

inline constexpr std::string_view kInstanceName = "Tallyhive";

struct StartUpServices {
    InstanceLock& lock;
    UserInterface& ui;
    const ProgramInfo& program;
    std::function<std::string()> uiLanguage;
};

// The process's entry: one instance per user, then the main window until it closes.
class CTallyhiveApp {
public:
    // Runs `runMainWindow` (which creates the window and returns when it has closed) while holding
    // the instance lock. When another instance holds it, or the lock cannot be taken, shows the
    // already-running message instead and returns true; otherwise returns false once the window
    // has closed.
    bool StartUp(StartUpServices& services, const std::function<void()>& runMainWindow);
};

}  // namespace tallyhive
