// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's and oru's texts in the user's language. Texts are written in English in the code
// and wrapped in tr() or trn(); po/zh_TW.po gives their Traditional Chinese form. The catalog is
// compiled by msgfmt at build time and built into the program, and the language is the one
// language::current() chooses, so the window and the engine never disagree (see docs/design.md,
// "Languages").
//
// Values are named by position: "%1$s" is the first value, "%2$s" the second, "%%" a "%", so that
// a translation may put them in another order. A text given without values is taken literally.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Language.h"

namespace oru {

// english in the current language, its values put in.
std::string tr(const char* english, std::initializer_list<std::string_view> values = {});
// The text for count things: singular or plural in English (English's rule: 1 is singular), the
// one form Chinese has in Traditional Chinese; its values put in.
std::string trn(const char* singular, const char* plural, int64_t count,
                std::initializer_list<std::string_view> values = {});

// Marks a text kept in a table for tr() at its use: the catalog's checks find it here.
constexpr const char* N_(const char* english) { return english; }

namespace messages {

// The translation of english into language, or nullptr when the catalog has none (English has
// no catalog). form: the plural form asked for, 0 for a text without one.
const char* lookup(language::Language language, std::string_view english, int form = 0);
// text with "%N$s" replaced by the N-th of values and "%%" by "%"; a reference to a missing
// value is left as it is.
std::string substitute(std::string_view text, std::initializer_list<std::string_view> values);

}  // namespace messages
}  // namespace oru
