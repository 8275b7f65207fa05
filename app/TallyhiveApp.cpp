#include "app/TallyhiveApp.h"

#include "app/Addresses.h"
#include "app/Messages.h"

namespace tallyhive {

namespace {

// Releases the lock on every way out of the main window, an exception included.
class LockRelease {
public:
    explicit LockRelease(InstanceLock& lock) : m_lock(lock) {}
    LockRelease(const LockRelease&) = delete;
    LockRelease& operator=(const LockRelease&) = delete;
    ~LockRelease() { m_lock.Release(); }

private:
    InstanceLock& m_lock;
};

}  // namespace

bool CTallyhiveApp::StartUp(StartUpServices& services, const std::function<void()>& runMainWindow) {
    LockRelease release(services.lock);
    if (services.lock.Acquire(kInstanceName) != InstanceState::First) {
        services.ui.ShowMessage(ProgramCaption(services.program.ProgramFilePath()),
                                AlreadyRunningMessage(services.uiLanguage()), MessageKind::Warning);
        return true;
    }
    if (runMainWindow) runMainWindow();
    return false;
}

}  // namespace tallyhive
