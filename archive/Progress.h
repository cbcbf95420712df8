#pragma once
// The progress and cancel interface between the engine and its front ends.

#include <cstdint>
#include <string>

namespace oru {

// What a long operation reports to its front end. The engine calls update() after each file
// (and during long files), and checks cancelled() between two files; when it says yes the
// operation stops with Cancelled, leaving the archive as a failure at that point would.
class Progress {
public:
    virtual ~Progress() = default;
    struct Info {
        uint64_t itemsDone = 0;
        uint64_t bytesDone = 0;      // source bytes read (add) or content bytes written (extract)
        uint64_t bytesTotal = 0;     // 0 when unknown
        std::string currentName;     // UTF-8
    };
    virtual void update(const Info& info) = 0;
    virtual bool cancelled() { return false; }
};

}  // namespace oru
