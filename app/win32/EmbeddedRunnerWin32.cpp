// The runner as the Windows program carries it: resource "EXE" 131, placed there by the build.
#include "app/win32/EmbeddedRunnerWin32.h"

#include "runner/EmbeddedRunner.h"

namespace tallyhive {

RunnerImage RunnerResourceOf(HMODULE module) {
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(131), L"EXE");
    const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = found ? ::SizeofResource(module, found) : 0;
    if (!bytes || size == 0) return RunnerImage{{}, "AssessRunner.exe"};
    return RunnerImage{{static_cast<const unsigned char*>(bytes), size}, "AssessRunner.exe"};
}

RunnerImage EmbeddedRunner() {
    return RunnerResourceOf(nullptr);
}

}  // namespace tallyhive
