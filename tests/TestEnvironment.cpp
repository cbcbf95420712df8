// SPDX-License-Identifier: GPL-3.0-or-later
// The environment of every test executable, whether ctest or a person starts it: a UTF-8 C locale,
// and the texts in Traditional Chinese (LANGUAGE decides the language before LC_ALL) so that the
// design's texts are checked as they stand. Tests of English texts choose English themselves.
// Archives are written plain (ORU_PLAIN=1: the eight catalog columns, links followed), so that the
// byte-exact tests check the layout every reader knows; tests of the extension columns turn it
// off for their archive (TKiv::SetPlain(false), or ORU_PLAIN unset for `oru`).
// (Set here rather than by ctest: gtest_discover_tests passes no list in its PROPERTIES, so a
// test's ENVIRONMENT can hold only one variable.)

#include <cstdlib>

namespace {

const bool kEnvironmentSet = [] {
    setenv("LANGUAGE", "zh_TW", 1);
    setenv("LANG", "C.UTF-8", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("ORU_PLAIN", "1", 1);
    return true;
}();

}  // namespace
