#pragma once
#include <windows.h>

#include "remeasure/Remeasure.h"

namespace tallyhive {

// The runner carried as resource "EXE" 131 of `module` (null: this program itself). Empty bytes when
// the module has none.
RunnerImage RunnerResourceOf(HMODULE module);

}  // namespace tallyhive
