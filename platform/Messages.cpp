// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Messages.h"

#include <cstring>
#include <string>
#include <unordered_map>

namespace oru::messages {

// The Traditional Chinese catalog as msgfmt wrote it (po/zh_TW.po), built into the program by
// po/EmbedCatalog.cmake.
extern const unsigned char kZhTwCatalog[];
extern const size_t kZhTwCatalogSize;

namespace {

// A compiled catalog (a GNU .mo file): a header of 32-bit words in the writer's byte order,
//   0 magic 0x950412de   4 revision   8 N: the number of texts
//   12 offset of the table of originals   16 offset of the table of translations,
// each table N pairs (length, offset) of NUL-terminated texts. A text with a plural holds its
// forms one after another, each ending in NUL; the original's key is its singular form. The
// entry with the empty original is the catalog's header and no text.
class Catalog {
public:
    Catalog(const unsigned char* data, size_t size) : data_(data), size_(size) {
        if (size_ < 20) return;
        const uint32_t magic = word(0);
        if (magic == 0xde120495) {
            swapped_ = true;
        } else if (magic != 0x950412de) {
            return;
        }
        const uint32_t n = word(8), originals = word(12), translations = word(16);
        for (uint32_t i = 0; i < n; ++i) {
            const std::string_view original = text(originals, i), translation = text(translations, i);
            if (original.data() == nullptr || translation.data() == nullptr || original.empty()) continue;
            texts_.emplace(std::string_view(original.data()), translation);
        }
    }

    // The form-th form of the translation of english, nullptr when there is none.
    const char* find(std::string_view english, int form) const {
        const auto it = texts_.find(english);
        if (it == texts_.end()) return nullptr;
        std::string_view forms = it->second;
        for (; form > 0; --form) {
            const size_t end = forms.find('\0');
            if (end == std::string_view::npos) return nullptr;
            forms.remove_prefix(end + 1);
        }
        return forms.data();
    }

private:
    uint32_t word(size_t at) const {
        if (at + 4 > size_) return 0;
        uint32_t value;
        std::memcpy(&value, data_ + at, 4);
        return swapped_ ? __builtin_bswap32(value) : value;
    }

    // The i-th text of the table at offset, without its final NUL; a null view when it lies
    // outside the data or has no NUL after it.
    std::string_view text(uint32_t table, uint32_t i) const {
        const size_t entry = table + size_t{8} * i;
        if (entry + 8 > size_) return {};
        const size_t length = word(entry), at = word(entry + 4);
        if (at > size_ || length >= size_ - at || data_[at + length] != 0) return {};
        return std::string_view(reinterpret_cast<const char*>(data_ + at), length);
    }

    const unsigned char* data_;
    size_t size_;
    bool swapped_ = false;
    std::unordered_map<std::string_view, std::string_view> texts_;  // original's singular -> all forms
};

const Catalog& traditionalChinese() {
    static const Catalog catalog(kZhTwCatalog, kZhTwCatalogSize);
    return catalog;
}

}  // namespace

const char* lookup(language::Language language, std::string_view english, int form) {
    if (language != language::Language::TraditionalChinese) return nullptr;
    return traditionalChinese().find(english, form);
}

std::string substitute(std::string_view text, std::initializer_list<std::string_view> values) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            result += '%';
            ++i;
            continue;
        }
        // "%N$s": digits, "$", "s".
        size_t j = i + 1;
        size_t number = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9' && number < 1000) {
            number = number * 10 + (text[j++] - '0');
        }
        if (j > i + 1 && j + 1 < text.size() && text[j] == '$' && text[j + 1] == 's' && number >= 1 &&
            number <= values.size()) {
            result += values.begin()[number - 1];
            i = j + 1;
            continue;
        }
        result += '%';
    }
    return result;
}

}  // namespace oru::messages

namespace oru {

std::string tr(const char* english, std::initializer_list<std::string_view> values) {
    const char* translated = messages::lookup(language::current(), english);
    const std::string_view text = translated ? translated : english;
    return values.size() == 0 ? std::string(text) : messages::substitute(text, values);
}

std::string trn(const char* singular, const char* plural, int64_t count,
                std::initializer_list<std::string_view> values) {
    const language::Language language = language::current();
    // Traditional Chinese has one form; English uses the singular for exactly one.
    const char* translated = messages::lookup(language, singular, 0);
    const std::string_view text = translated ? translated : (count == 1 ? singular : plural);
    return messages::substitute(text, values);
}

}  // namespace oru
