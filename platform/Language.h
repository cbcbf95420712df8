// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The language of every text the user reads, chosen once for both front ends and the engine, as
// Linux programs choose it: the first of LANGUAGE, LC_ALL, LC_MESSAGES and LANG that is set and
// not empty decides (LANGUAGE may list several, "zh_TW:en"; its first entry counts). Any "zh"
// locale gets Traditional Chinese; every other one, "C" and "POSIX" included, gets English.

#include <string>

namespace oru::language {

enum class Language { English, TraditionalChinese };

// The language of this process: from the environment at the first call, or as set by set().
Language current();
// Chooses the language, for tests and for a front end that knows better; until the next call.
void set(Language language);
// Forgets set() and what the environment said; the next current() reads the environment again.
void reset();
// The language the given environment values choose (empty or null: not set).
Language fromEnvironment(const char* languageVar, const char* lcAll, const char* lcMessages, const char* lang);
// "en" or "zh_TW": the name of the language's catalogs.
const char* code(Language language);

}  // namespace oru::language
