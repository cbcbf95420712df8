// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Language.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace oru::language {
namespace {

// -1: not chosen yet; otherwise the Language's value.
std::atomic<int> chosen{-1};

bool isSet(const char* value) { return value != nullptr && *value != '\0'; }

Language ofLocaleName(std::string_view name) {
    // "zh", "zh_TW.UTF-8", "zh_CN", "zh-Hant": Chinese; anything else, "C" included: English.
    if (name.size() >= 2 && name.substr(0, 2) == "zh" && (name.size() == 2 || name[2] == '_' || name[2] == '-' ||
                                                          name[2] == '.' || name[2] == '@')) {
        return Language::TraditionalChinese;
    }
    return Language::English;
}

}  // namespace

Language fromEnvironment(const char* languageVar, const char* lcAll, const char* lcMessages, const char* lang) {
    if (isSet(languageVar)) {
        std::string_view list(languageVar);
        return ofLocaleName(list.substr(0, list.find(':')));
    }
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (isSet(value)) return ofLocaleName(value);
    }
    return Language::English;
}

Language current() {
    int value = chosen.load(std::memory_order_acquire);
    if (value < 0) {
        value = static_cast<int>(fromEnvironment(std::getenv("LANGUAGE"), std::getenv("LC_ALL"),
                                                 std::getenv("LC_MESSAGES"), std::getenv("LANG")));
        chosen.store(value, std::memory_order_release);
    }
    return static_cast<Language>(value);
}

void set(Language language) { chosen.store(static_cast<int>(language), std::memory_order_release); }

void reset() { chosen.store(-1, std::memory_order_release); }

const char* code(Language language) { return language == Language::TraditionalChinese ? "zh_TW" : "en"; }

}  // namespace oru::language
