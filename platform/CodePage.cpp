// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <memory>

#include "platform/Error.h"

namespace oru::cp950 {
namespace {

// One converter per thread: ICU converters keep state and are not thread-safe.
UConverter* converter() {
    struct Holder {
        UConverter* cnv = nullptr;
        ~Holder() {
            if (cnv) ucnv_close(cnv);
        }
    };
    thread_local Holder holder;
    if (holder.cnv == nullptr) {
        UErrorCode status = U_ZERO_ERROR;
        holder.cnv = ucnv_open("windows-950", &status);
        if (U_FAILURE(status)) throw Error(ErrorKind::MissingSupport, {.detail = "code page 950 converter"});
    }
    return holder.cnv;
}

std::u16string utf8ToUtf16(std::string_view utf8, bool& valid) {
    std::u16string out(utf8.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length,
                         utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
    valid = U_SUCCESS(status);
    out.resize(valid ? static_cast<size_t>(length) : 0);
    return out;
}

}  // namespace

std::string fromUtf8(std::string_view utf8) {
    bool isAscii = true;
    for (unsigned char c : utf8) {
        if (c >= 0x80) {
            isAscii = false;
            break;
        }
    }
    if (isAscii) return std::string(utf8);

    const Error refusal(ErrorKind::NoBig5Form, {.path = std::string(utf8)});
    bool valid = false;
    std::u16string wide = utf8ToUtf16(utf8, valid);
    if (!valid) throw refusal;
    for (char16_t c : wide) {
        if (c == 0xFFFD) throw refusal;  // not valid UTF-8 to begin with
    }

    UConverter* cnv = converter();
    ucnv_reset(cnv);
    // Unmappable characters must fail, not turn into substitution bytes.
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    std::string out(wide.size() * 2 + 8, '\0');
    status = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()),
                                reinterpret_cast<const UChar*>(wide.data()), static_cast<int32_t>(wide.size()),
                                &status);
    if (U_FAILURE(status)) throw refusal;
    out.resize(static_cast<size_t>(n));
    return out;
}

std::u16string toUtf16(std::string_view cp950) {
    if (cp950.empty()) return {};
    UConverter* cnv = converter();
    ucnv_reset(cnv);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
    std::u16string out(cp950.size() * 2 + 2, u'\0');
    status = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(cnv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                              cp950.data(), static_cast<int32_t>(cp950.size()), &status);
    if (U_FAILURE(status)) {
        // Fall back to one replacement character per byte; never fails.
        return std::u16string(cp950.size(), u'\uFFFD');
    }
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string toUtf8(std::string_view cp950) {
    bool isAscii = true;
    for (unsigned char c : cp950) {
        if (c >= 0x80) {
            isAscii = false;
            break;
        }
    }
    if (isAscii) return std::string(cp950);
    std::u16string wide = toUtf16(cp950);
    std::string out(wide.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                       reinterpret_cast<const UChar*>(wide.data()), static_cast<int32_t>(wide.size()), 0xFFFD,
                       nullptr, &status);
    if (U_FAILURE(status)) return std::string();
    out.resize(static_cast<size_t>(length));
    return out;
}

}  // namespace oru::cp950
