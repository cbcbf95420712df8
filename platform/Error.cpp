// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Error.h"

#include <cstring>
#include <utility>

namespace oru {

Error::Error(ErrorKind kind, ErrorValues values)
    : std::runtime_error(errorText(kind, values)), kind_(kind), values_(std::move(values)) {}

Error Error::naming(const std::string& archive, const std::string& entry) const {
    ErrorValues values = values_;
    if (values.archive.empty()) values.archive = archive;
    if (values.entry.empty()) values.entry = entry;
    return Error(kind_, std::move(values));
}

Error Error::keptIn(const std::string& sideFile, bool maybe) const {
    ErrorValues values = values_;
    values.keptIn = sideFile;
    values.keptMaybe = maybe;
    return Error(kind_, std::move(values));
}

std::string displayText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

}  // namespace oru
