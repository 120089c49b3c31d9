// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/splash_decision.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace zelk {
namespace {

bool SameWord(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

bool IsServerSwitch(const std::string& argument) {
    if (argument.size() < 2 || (argument.front() != '-' && argument.front() != '/')) {
        return false;
    }
    const std::string_view word = std::string_view(argument).substr(1);
    return SameWord(word, "Embedding") || SameWord(word, "Automation");
}

bool SplashAllowed(std::span<const std::string> arguments) {
    return std::ranges::none_of(arguments, IsServerSwitch);
}

} // namespace zelk
