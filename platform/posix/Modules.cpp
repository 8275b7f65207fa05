#include <memory>
#include <string_view>

#include "platform/Platform.h"

namespace tallyhive {

namespace {

// Linux has no DirectX modules, so the probe finds none and the DirectX version stays empty.
class PosixModuleService final : public ModuleService {
public:
    bool CanLoadModule(std::string_view /*name*/) override { return false; }
};

}  // namespace

std::unique_ptr<ModuleService> MakeModuleService() {
    return std::make_unique<PosixModuleService>();
}

}  // namespace tallyhive
