// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The oru::Error a piece of code raises, for tests of every layer that check its kind and values.

#include <functional>

#include "platform/Error.h"

namespace oru {

// The error f raises; kind Text with "<no error>" when it raises none.
inline Error errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e;
    }
    return Error(ErrorKind::Text, {.detail = "<no error>"});
}

}  // namespace oru
