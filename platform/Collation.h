// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Locale collation of catalog texts: ICU's collator for the user's default locale (from the
// environment), tertiary strength (case-sensitive), over the Unicode form of the CP950 bytes.
// Two texts are equal exactly when their sort keys are equal.

#include <string>
#include <string_view>

namespace oru::collation {

// The sort key of a CP950 text: compare keys bytewise (memcmp / std::string <) to collate.
std::string sortKey(std::string_view cp950);
// -1, 0 or 1 as a collates before, equal to or after b.
int compare(std::string_view a, std::string_view b);
// Re-reads the default locale (tests set LANG / call this after setlocale). Not thread-safe.
void resetLocale(const char* localeName = nullptr);

}  // namespace oru::collation
