#pragma once
// The one error type of the system. Every failure is raised as an Error carrying the message
// text that the user is shown; failures of the catalog's row store and datapacket reader carry a
// numeric status code and an empty message text.

#include <stdexcept>
#include <string>

namespace oru {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, int status = 0)
        : std::runtime_error(message), status_(status) {}

    // Status code of a catalog-table failure (0x4005, 0x2702, ...); 0 for every other failure.
    int status() const noexcept { return status_; }

private:
    int status_;
};

// Raised by the engine when a front end asked it to stop between two files. The archive is left
// exactly as a failure at that point would leave it.
class Cancelled : public Error {
public:
    Cancelled() : Error("作業已取消") {}
};

// "Cannot open file %s" and the other file-layer messages, built in one place.
namespace msg {
inline std::string cannotOpen(const std::string& path) { return "Cannot open file " + path; }
inline std::string cannotCreate(const std::string& path) { return "Cannot create file " + path; }
inline constexpr const char* kReadError = "Stream read error";
inline constexpr const char* kWriteError = "Stream write error";
inline constexpr const char* kCreateDirError = "Unable to create directory";
}  // namespace msg

// The text the central handler shows for an error: the message, with "." appended when it is not
// empty and its last byte sorts after "." (unsigned).
std::string displayText(const std::string& message);

}  // namespace oru
