#include "presentation/testing/Fakes.h"

#include <array>
#include <charconv>
#include <variant>

namespace tallyhive {

std::string DescribeScriptCall(std::string_view function, std::span<const ScriptArg> args) {
    std::string line = "CallPageScript " + std::string(function) + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) line += ',';
        if (const auto* text = std::get_if<std::string>(&args[i])) {
            line += *text;
        } else {
            std::array<char, 64> buffer{};
            const auto result =
                std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::get<double>(args[i]));
            line.append(buffer.data(), result.ptr);
        }
    }
    line += ')';
    return line;
}

}  // namespace tallyhive
