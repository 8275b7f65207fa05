#pragma once
#include <memory>
#include <string>

#include "app/AppServices.h"

// Factories for the services of the program's hosts. Each platform folder implements them.
namespace tallyhive {

// The single-instance lock. POSIX: a file lock in the user's runtime folder that the kernel drops
// when the process dies, so a crash never leaves a stale lock; `runtimeDir` replaces
// $XDG_RUNTIME_DIR (tests). Windows: a named mutex, `runtimeDir` unused.
std::unique_ptr<InstanceLock> MakeInstanceLock(const std::string& runtimeDir = {});

}  // namespace tallyhive
