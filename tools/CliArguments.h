#pragma once
// How the command-line tools read their arguments with CLI11: every option is declared without a
// variable and read from its results after parsing, so each tool can name the argument at fault in
// one plain sentence (and the tests can look for it) instead of CLI11's own wording.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tallyhive::tools {

// Call before adding options. The tools print their own usage, so CLI11 adds no help flag; unknown
// arguments are kept for ParseArguments to name; and every option keeps all its values, so that a
// repetition is refused by name rather than by a generic count.
inline void PrepareApp(CLI::App& app) {
    app.set_help_flag();
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

// Parses `args` (after the program name) into `app`. Empty on success, else what is wrong. Options
// whose long name is in `repeatable` may be given more than once; a flag never takes a value.
inline std::string ParseArguments(CLI::App& app, const std::vector<std::string>& args,
                                  const std::set<std::string, std::less<>>& repeatable = {}) {
    std::vector<std::string> words;
    words.reserve(args.size() + 1);
    bool isValue = false;  // the argument after an option that takes one is its value, as it is
    for (const std::string& arg : args) {
        const bool wasValue = std::exchange(isValue, false);
        if (wasValue) {
            words.push_back(arg);
            continue;
        }
        if (const CLI::Option* option = app.get_option_no_throw(arg))
            isValue = arg.starts_with("--") && option->get_items_expected_max() > 0;
        // CLI11 reads "--name=" as no value at all: a flag would pass for given bare, and an option
        // would take the next argument instead. An empty value given with '=' is still a value
        // ("--datastore=" is an empty folder, not a missing one).
        if (arg.size() > 3 && arg.starts_with("--") && arg.find('=') == arg.size() - 1) {
            const std::string name = arg.substr(0, arg.size() - 1);
            if (const CLI::Option* option = app.get_option_no_throw(name)) {
                if (option->get_items_expected_max() == 0) return name + " takes no value";
                words.push_back(name);
                words.emplace_back();
                continue;
            }
        }
        words.push_back(arg);
    }
    std::reverse(words.begin(), words.end());  // CLI11 takes the arguments from the back
    try {
        app.parse(words);
    } catch (const CLI::ArgumentMismatch&) {
        // A value is taken whatever it looks like, so only an option at the very end can lack one.
        return args.back() + " needs a value";
    } catch (const CLI::ParseError& e) {
        return e.what();
    }

    if (const std::vector<std::string> extra = app.remaining(); !extra.empty()) {
        const std::string& first = extra.front();
        if (!first.starts_with("-")) return "unexpected argument \"" + first + "\"";
        return "unknown option " + first.substr(0, first.find('='));
    }
    for (const CLI::Option* option : app.get_options()) {
        const std::string name = option->get_name();
        // A bare flag reads as "true"; anything else was written after '='.
        if (option->get_items_expected_max() == 0) {
            for (const std::string& result : option->results())
                if (result != "true") return name + " takes no value";
        }
        if (option->count() > 1 && !repeatable.contains(name)) return name + " is given more than once";
    }
    return {};
}

// The value an option was given last; empty when it was not given.
inline std::string Value(const CLI::Option* option) {
    return option->results().empty() ? std::string() : option->results().back();
}

}  // namespace tallyhive::tools
