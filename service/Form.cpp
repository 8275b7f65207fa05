#include "service/Form.h"

#include <algorithm>

namespace tallyhive::service {

const std::string& ShareForm::Get(std::string_view key) const {
    const auto at = std::find(kFormKeys.begin(), kFormKeys.end(), key);
    return values[static_cast<std::size_t>(at - kFormKeys.begin()) % values.size()];
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool PercentDecode(std::string_view text, std::string& out, bool plusIsSpace) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return false;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) return false;
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return true;
}

bool IsCleanUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            if ((b < 0x20 && b != '\t') || b == 0x7F) return false;
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if (t < (k == 1 ? low : 0x80) || t > (k == 1 ? high : 0xBF)) return false;
        }
        // C1 control characters (U+0080..U+009F) are no more welcome than C0 ones.
        if (b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) return false;
        i += length;
    }
    return true;
}

std::optional<ShareForm> DecodeShareForm(std::string_view body, FormProblem& problem) {
    problem = {};
    ShareForm form;
    std::array<bool, kFormKeys.size()> seen{};
    std::size_t start = 0;
    while (start <= body.size()) {
        const std::size_t end = std::min(body.find('&', start), body.size());
        const std::string_view pair = body.substr(start, end - start);
        start = end + 1;
        if (pair.empty()) {
            if (end == body.size()) break;
            continue;
        }
        const std::size_t equals = pair.find('=');
        std::string key, value;
        if (!PercentDecode(pair.substr(0, equals), key, true) ||
            !PercentDecode(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1),
                           value, true)) {
            problem.kind = FormProblem::Kind::BadEscape;
            return std::nullopt;
        }
        const auto at = std::find(kFormKeys.begin(), kFormKeys.end(), key);
        if (at == kFormKeys.end()) continue;
        const auto index = static_cast<std::size_t>(at - kFormKeys.begin());
        if (seen[index]) {
            problem = {FormProblem::Kind::RepeatedKey, key};
            return std::nullopt;
        }
        if (!IsCleanUtf8(value)) {
            problem = {FormProblem::Kind::NotText, key};
            return std::nullopt;
        }
        seen[index] = true;
        form.values[index] = std::move(value);
    }
    for (std::size_t i = 0; i < kFormKeys.size(); ++i) {
        if (!seen[i]) {
            problem = {FormProblem::Kind::MissingKey, std::string(kFormKeys[i])};
            return std::nullopt;
        }
    }
    return form;
}

std::optional<double> ReadScore(std::string_view text) {
    if (text.empty() || text.size() > kMaxScoreLength) return std::nullopt;
    int whole = 0, tenths = 0, digits = 0, fraction = 0;
    bool point = false;
    for (const char c : text) {
        if (c == '.' && !point && digits > 0) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        if (!point) {
            whole = whole * 10 + (c - '0');
            if (++digits > 2) return std::nullopt;
        } else {
            // Scores carry at most two decimals ("8.55" on recent systems); more is not a score.
            if (++fraction > 2) return std::nullopt;
            tenths = tenths * 10 + (c - '0');
        }
    }
    if (point && fraction == 0) return std::nullopt;
    const double value = whole + tenths / (fraction == 2 ? 100.0 : 10.0);
    if (value < 1.0 || value > 9.9) return std::nullopt;
    return value;
}

FormProblem ValidateShare(const ShareForm& form) {
    for (std::size_t i = 0; i < 6; ++i) {
        if (!ReadScore(form.values[i])) return {FormProblem::Kind::BadScore, std::string(kFormKeys[i])};
    }
    for (std::size_t i = 6; i < 13; ++i) {
        if (form.values[i].size() > kMaxTextLength)
            return {FormProblem::Kind::TooLong, std::string(kFormKeys[i])};
    }
    const std::string& code = form.Get("pass_code");
    if (code.size() != 32 || !std::all_of(code.begin(), code.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        }))
        return {FormProblem::Kind::BadPassCode, "pass_code"};
    if (form.Get("captcha").size() > kMaxTextLength) return {FormProblem::Kind::TooLong, "captcha"};
    return {};
}

}  // namespace tallyhive::service
