#pragma once
// Renders the engine's progress reports on standard error for a person at a terminal, and turns
// Ctrl+C into a request to stop between two files.

#include <chrono>
#include <cstdint>

#include "archive/Progress.h"

namespace oru {

class ConsoleProgress : public Progress {
public:
    // visible: draw at all (standard error is a terminal and -q was not given). Drawing starts
    // only once the work has lasted more than a second.
    explicit ConsoleProgress(bool visible);
    ~ConsoleProgress() override;

    void update(const Info& info) override;
    bool cancelled() override;
    // Erases the progress line, if one was drawn.
    void finish();

    // Installs the Ctrl+C handler: the first interrupt asks the work to stop at the next file,
    // a second one ends the process at once.
    static void catchInterrupts();

private:
    using Clock = std::chrono::steady_clock;
    bool visible_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

}  // namespace oru
