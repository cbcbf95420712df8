// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the texts of a scope in one language, whatever the environment says. Scopes nest: the
// language of the enclosing one comes back at the end, and the environment's choice after the
// outermost.

#include "platform/Language.h"

namespace oru {

class InLanguage {
public:
    explicit InLanguage(language::Language language) : previous_(language::current()) {
        ++depth();
        language::set(language);
    }
    ~InLanguage() {
        if (--depth() == 0) {
            language::reset();
        } else {
            language::set(previous_);
        }
    }
    InLanguage(const InLanguage&) = delete;
    InLanguage& operator=(const InLanguage&) = delete;

private:
    static int& depth() {
        static int open = 0;
        return open;
    }
    language::Language previous_;
};

}  // namespace oru
