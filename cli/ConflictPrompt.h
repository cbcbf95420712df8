// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How `oru extract` answers files in its way: -o and -n answer every question alike; without
// them a terminal is asked per file, as unzip asks.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "archive/ConflictHandler.h"
#include "cli/Commands.h"

namespace oru::cli {

class ConflictPrompt : public ConflictHandler {
public:
    // existing: the -o / -n choice. Without one, each question is written to out and its answer
    // read from in: [y]es overwrite, [n]o skip, [A]ll overwrite from now on, [N]one skip from now
    // on, [r]ename keep both (the entry as name~N.ext); the end of in cancels. Unreadable
    // answers ask again.
    ConflictPrompt(Existing existing, std::FILE* in, std::FILE* out) : existing_(existing), in_(in), out_(out) {}
    ConflictChoice choose(const std::string& path) override;
    // Writes "oru: message" on its own line to out (what the file system did not keep).
    void notice(const std::string& message) override;

    // Called before a question is written (to clear a progress line).
    std::function<void()> beforeAsking;

private:
    Existing existing_;
    std::FILE* in_;
    std::FILE* out_;
};

}  // namespace oru::cli
