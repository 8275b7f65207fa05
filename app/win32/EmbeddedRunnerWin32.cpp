// The runner as the Windows program carries it: resource "EXE" 131, placed there by the build.
#include <windows.h>

#include "runner/EmbeddedRunner.h"

namespace tallyhive {

RunnerImage EmbeddedRunner() {
    const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(131), L"EXE");
    const HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = found ? ::SizeofResource(nullptr, found) : 0;
    if (!bytes || size == 0) return RunnerImage{{}, "AssessRunner.exe"};
    return RunnerImage{{static_cast<const unsigned char*>(bytes), size}, "AssessRunner.exe"};
}

}  // namespace tallyhive
