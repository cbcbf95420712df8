// Names crossing the file-system boundary: disk names are UTF-8 paths, catalog names CP950.
#include "archive/EntryNames.h"

#include <cstdlib>

#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {

std::string catalogName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::string name = fs::lastComponent(trimmed);
    if (name.empty() || name == "." || name == "..") {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            name = fs::lastComponent(real);
            std::free(real);
        }
    }
    if (name.empty() || name == "." || name == "..") throw Error(path + ": 無法取得這個項目的名稱");
    try {
        return cp950::fromUtf8(name);
    } catch (const Error&) {
        throw Error(path + ": 名稱含有無法以 Big5 表示的字元");
    }
}

std::string diskName(const std::string& storedName) {
    std::string name = cp950::toUtf8(storedName);
    bool unsafe = name.empty() || name == "." || name == ".." ||
                  name.find('/') != std::string::npos || name.find('\0') != std::string::npos;
    if (unsafe) {
        std::string shown;
        for (char c : name) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
        throw Error("壓縮檔中的名稱「" + shown + "」不能當作檔名，無法解出");
    }
    return name;
}

std::string withMarker(const std::string& name, unsigned n) {
    const std::string marker = "~" + std::to_string(n);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name + marker;
    return name.substr(0, dot) + marker + name.substr(dot);
}

}  // namespace oru
