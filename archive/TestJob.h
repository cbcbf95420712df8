// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test: every stored file of an archive decoded (its Adler-32 checked while inflating) and its
// length compared with the size its row records. The window's Test and `oru test` both run it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace oru {

class Progress;
class TKiv;

// What Test found for one stored file.
struct EntryCheck {
    int row = -1;                 // its index in the catalog's unfiltered view, in its ordering
    std::string name;             // UTF-8: "folder/name", or the name of a top-level file
    int64_t decoded = 0;          // content bytes the stored stream gave before it ended or failed
    std::optional<Error> damage;  // why it is damaged (naming the archive and the entry); empty: sound
};

struct TestSummary {
    int checked = 0;  // rows of type file
    int damaged = 0;
};

class TestJob {
public:
    // Called after each stored file with what was found.
    using Report = std::function<void(const EntryCheck&)>;
    // progress: told after each file and asked before each whether to stop (nullptr: none).
    // Inside a big entry the archive's own progress sink (TKiv::SetProgress) is asked.
    TestJob(TKiv& archive, Progress* progress, Report onEntry = {});
    // Checks every row of type file, in the catalog's ordering; a damaged file is reported and the
    // test goes on. Rows of another type are neither checked nor counted. Fails with Cancelled,
    // or with the catalog's own errors.
    TestSummary Run();

    // The reason alone, without the archive and entry the damage names: what a list of findings
    // shows beside the entry's name.
    static std::string ReasonText(const Error& damage);

private:
    TKiv& archive_;
    Progress* progress_;
    Report onEntry_;
};

}  // namespace oru
