// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Collation.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <cstring>
#include <string>

#include "platform/CodePage.h"
#include "platform/Error.h"

namespace oru::collation {
namespace {

struct CollatorHolder {
    UCollator* collator = nullptr;
    ~CollatorHolder() {
        if (collator) ucol_close(collator);
    }
};

CollatorHolder& holder() {
    static CollatorHolder h;
    return h;
}

UCollator* open(const char* localeName) {
    std::string name = localeName ? localeName : uloc_getDefault();
    // The C and POSIX locales give ICU's "en_US_POSIX", whose order is by code point; users of
    // such a machine still expect names in linguistic order, so use the root collation there.
    if (name.empty() || name == "c" || name == "C" || name.rfind("en_US_POSIX", 0) == 0) name = "";
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open(name.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        c = ucol_open("", &status);
        if (U_FAILURE(status)) throw Error(ErrorKind::MissingSupport, {.detail = "locale collation"});
    }
    // Tertiary strength: case-sensitive, a lowercase letter sorting next to its uppercase form.
    ucol_setStrength(c, UCOL_TERTIARY);
    return c;
}

UCollator* collator() {
    auto& h = holder();
    if (h.collator == nullptr) h.collator = open(nullptr);
    return h.collator;
}

}  // namespace

std::string sortKey(std::string_view cp950) {
    std::u16string text = cp950::toUtf16(cp950);
    UCollator* c = collator();
    uint8_t stackBuffer[256];
    int32_t n = ucol_getSortKey(c, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                stackBuffer, sizeof stackBuffer);
    if (n <= static_cast<int32_t>(sizeof stackBuffer)) {
        // The key ends with a zero byte that carries no order; leave it out.
        return std::string(reinterpret_cast<const char*>(stackBuffer), n > 0 ? static_cast<size_t>(n - 1) : 0);
    }
    std::string key(static_cast<size_t>(n), '\0');
    ucol_getSortKey(c, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                    reinterpret_cast<uint8_t*>(key.data()), n);
    key.resize(static_cast<size_t>(n - 1));
    return key;
}

int compare(std::string_view a, std::string_view b) {
    std::u16string wa = cp950::toUtf16(a);
    std::u16string wb = cp950::toUtf16(b);
    UCollationResult r = ucol_strcoll(collator(), reinterpret_cast<const UChar*>(wa.data()),
                                      static_cast<int32_t>(wa.size()), reinterpret_cast<const UChar*>(wb.data()),
                                      static_cast<int32_t>(wb.size()));
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

void resetLocale(const char* localeName) {
    auto& h = holder();
    if (h.collator) ucol_close(h.collator);
    h.collator = nullptr;
    if (localeName == nullptr) {
        UErrorCode status = U_ZERO_ERROR;
        uloc_setDefault(nullptr, &status);  // re-read from the environment
        h.collator = open(nullptr);
    } else {
        h.collator = open(localeName);
    }
}

}  // namespace oru::collation
