// SPDX-License-Identifier: GPL-3.0-or-later
// Names crossing the file-system boundary: disk names are UTF-8 paths, catalog names CP950.
#include "archive/EntryNames.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <memory>

#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {

namespace {

// An extension longer than this (with its dot) is part of the name: it would leave too little
// room for the rest when a name is shortened.
constexpr size_t kMaxExtension = 12;

// The CP950 form of one piece of text, or nothing when a character of it has none, or when it
// holds a character that is no part of a name ("/", a zero byte).
bool toCatalog(const icu::UnicodeString& text, std::string& out) {
    std::string utf8;
    text.toUTF8String(utf8);
    if (utf8.empty() || utf8.find('/') != std::string::npos || utf8.find('\0') != std::string::npos) return false;
    try {
        out = cp950::fromUtf8(utf8);
        return true;
    } catch (const Error&) {
        return false;
    }
}

// One ICU transform per thread: transliterators keep state and are not shared across threads.
class Transforms {
public:
    static Transforms& get() {
        thread_local Transforms instance;
        return instance;
    }
    // The CP950 form of one character: as it is, else Simplified to Traditional Chinese, else
    // Latin to ASCII, else "_".
    std::string convert(const icu::UnicodeString& character) {
        std::string out;
        if (toCatalog(character, out)) return out;
        for (const auto& transform : {hansHant_.get(), latinAscii_.get()}) {
            if (!transform) continue;
            icu::UnicodeString changed(character);
            transform->transliterate(changed);
            if (toCatalog(changed, out)) return out;
        }
        return "_";
    }

private:
    Transforms() : hansHant_(open("Hans-Hant")), latinAscii_(open("Latin-ASCII")) {}
    static std::unique_ptr<icu::Transliterator> open(const char* id) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> t(
            icu::Transliterator::createInstance(icu::UnicodeString::fromUTF8(id), UTRANS_FORWARD, status));
        return U_SUCCESS(status) ? std::move(t) : nullptr;
    }
    std::unique_ptr<icu::Transliterator> hansHant_, latinAscii_;
};

// The length of the longest prefix of name (CP950) of at most width bytes that ends at a
// character boundary.
size_t wholeCharacters(const std::string& name, size_t width) {
    size_t at = 0;
    while (at < name.size()) {
        const size_t step = cp950::isLeadByte(static_cast<unsigned char>(name[at])) && at + 1 < name.size() ? 2 : 1;
        if (at + step > width) break;
        at += step;
    }
    return at;
}

// Where name's extension begins (its last dot), or name.size() when it has none worth keeping:
// no dot, a leading dot only (".profile"), or a long tail. A dot is never the second byte of a
// CP950 character, so this holds for CP950 and UTF-8 alike.
size_t extensionStart(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > kMaxExtension) return name.size();
    return dot;
}

}  // namespace

std::string sourceName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::string name = fs::lastComponent(trimmed);
    if (name.empty() || name == "." || name == "..") {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            name = fs::lastComponent(real);
            std::free(real);
        }
    }
    if (name.empty() || name == "." || name == "..") throw Error(ErrorKind::NoName, {.path = path});
    return name;
}

namespace {
// A catalog text keeps no trailing spaces (its field drops them): a name of spaces only would be
// stored empty, so each of its spaces becomes "_". Other trailing spaces are dropped where the
// name is placed (NameIndex::locate), which tells such a name apart from the one without them.
std::string withoutTrailingSpaces(std::string name) {
    if (!name.empty() && name.find_last_not_of(' ') == std::string::npos) return std::string(name.size(), '_');
    return name;
}
}  // namespace

std::string storableName(const std::string& utf8) {
    try {
        // The common case: every character has a form.
        return withoutTrailingSpaces(cp950::fromUtf8(utf8));
    } catch (const Error&) {
    }
    // Composed characters first, so that "e" + combining acute is one character "é".
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
    UErrorCode status = U_ZERO_ERROR;
    if (const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status); U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(text, status);
        if (U_SUCCESS(status)) text = composed;
    }
    Transforms& transforms = Transforms::get();
    std::string out;
    for (int32_t i = 0; i < text.length();) {
        const int32_t next = text.moveIndex32(i, 1);
        out += transforms.convert(text.tempSubStringBetween(i, next));
        i = next;
    }
    // A name made only of dots would name the folder itself or its parent.
    if (out.find_first_not_of('.') == std::string::npos) out.assign(out.size(), '_');
    return withoutTrailingSpaces(std::move(out));
}

std::string markedName(const std::string& name, unsigned marker, bool isFile) {
    if (marker == 0) return name.substr(0, wholeCharacters(name, kNameWidth));
    const std::string mark = "~" + std::to_string(marker);
    const size_t extAt = isFile ? extensionStart(name) : name.size();
    const std::string ext = name.substr(extAt);
    const std::string stem = name.substr(0, extAt);
    return stem.substr(0, wholeCharacters(stem, kNameWidth - mark.size() - ext.size())) + mark + ext;
}

std::string diskName(const std::string& storedName) {
    std::string name = cp950::toUtf8(storedName);
    bool unsafe = name.empty() || name == "." || name == ".." ||
                  name.find('/') != std::string::npos || name.find('\0') != std::string::npos;
    if (unsafe) {
        std::string shown;
        for (char c : name) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
        throw Error(ErrorKind::UnsafeName, {.detail = shown});
    }
    return name;
}

std::string readableName(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        // The length of a valid character at i (shortest form, no surrogates, at most U+10FFFF), or 0.
        size_t len = 0;
        const unsigned c = b[i];
        auto cont = [&](size_t k) { return i + k < n && (b[i + k] & 0xC0) == 0x80; };
        if (c < 0x80) {
            len = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = cont(1) ? 2 : 0;
        } else if (c >= 0xE0 && c <= 0xEF) {
            const bool second = i + 1 < n && (c == 0xE0 ? b[i + 1] >= 0xA0 : c == 0xED ? b[i + 1] < 0xA0 : true);
            len = cont(1) && second && cont(2) ? 3 : 0;
        } else if (c >= 0xF0 && c <= 0xF4) {
            const bool second = i + 1 < n && (c == 0xF0 ? b[i + 1] >= 0x90 : c == 0xF4 ? b[i + 1] < 0x90 : true);
            len = cont(1) && second && cont(2) && cont(3) ? 4 : 0;
        }
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes, i, len);
            i += len;
        }
    }
    return out;
}

std::string withMarker(const std::string& name, unsigned n) {
    const std::string marker = "~" + std::to_string(n);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name + marker;
    return name.substr(0, dot) + marker + name.substr(dot);
}

}  // namespace oru
