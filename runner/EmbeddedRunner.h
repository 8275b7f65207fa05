#pragma once
#include "remeasure/Remeasure.h"

namespace tallyhive {

// The runner's executable as this program carries it (Linux: linked in by the build from the
// runner's own build output; Windows: resource "EXE" 131). Empty bytes when the build put none in.
RunnerImage EmbeddedRunner();

}  // namespace tallyhive
