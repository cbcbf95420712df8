// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One command's progress over the several engine calls it makes (one per selected item): the
// item counter and the bytes go on from call to call, the total is the whole command's, and
// the figures stay for the outcome shown when the command ends, with the items Add left out.

#include <QElapsedTimer>
#include <memory>
#include <string>
#include <vector>

#include "archive/zipUtil.h"

namespace oru::ui {

class CommandProgress : public oru::Progress {
public:
    // sink: where the summed reports go (may be null); bytesTotal: the command's bytes, 0 unknown.
    CommandProgress(std::unique_ptr<oru::Progress> sink, uint64_t bytesTotal);

    // Call before each engine call after the first: what the last call did becomes the base.
    void nextCall();

    void update(const Info& info) override;
    // The sink's Cancel, or the flag given to stopWhen.
    bool cancelled() override;
    void skipped(const std::string& path, oru::SkipReason reason) override;
    // Stops the command also when stop becomes true (the window is being closed); stop must
    // outlive this object.
    void stopWhen(const bool& stop) { stop_ = &stop; }

    struct Skipped {
        std::string path;  // UTF-8
        oru::SkipReason reason;
    };
    const std::vector<Skipped>& skippedItems() const { return skipped_; }

    uint64_t items() const { return baseItems_ + last_.itemsDone; }
    uint64_t bytes() const { return baseBytes_ + last_.bytesDone; }
    double seconds() const { return static_cast<double>(timer_.elapsed()) / 1000.0; }

private:
    std::unique_ptr<oru::Progress> sink_;
    uint64_t total_;
    uint64_t baseItems_ = 0, baseBytes_ = 0;
    Info last_;
    QElapsedTimer timer_;
    const bool* stop_ = nullptr;
    std::vector<Skipped> skipped_;
};

}  // namespace oru::ui
