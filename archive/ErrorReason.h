// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reason of a failure without the archive and entry it names: what a list of failed or
// damaged entries shows beside each entry's name.

#include <string>

#include "platform/Error.h"

namespace oru {

inline std::string reasonText(const Error& e) {
    ErrorValues values = e.values();
    if (values.path == values.archive) values.path.clear();  // a read error names the archive file
    values.archive.clear();
    values.entry.clear();
    return errorText(e.kind(), values);
}

}  // namespace oru
