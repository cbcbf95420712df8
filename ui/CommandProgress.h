#pragma once
// One command's progress over the several engine calls it makes (one per selected item): the
// item counter and the bytes go on from call to call, the total is the whole command's, and
// the figures stay for the outcome shown when the command ends.

#include <QElapsedTimer>
#include <memory>

#include "archive/zipUtil.h"

namespace oru::ui {

class CommandProgress : public oru::Progress {
public:
    // sink: where the summed reports go (may be null); bytesTotal: the command's bytes, 0 unknown.
    CommandProgress(std::unique_ptr<oru::Progress> sink, uint64_t bytesTotal);

    // Call before each engine call after the first: what the last call did becomes the base.
    void nextCall();

    void update(const Info& info) override;
    bool cancelled() override;

    uint64_t items() const { return baseItems_ + last_.itemsDone; }
    uint64_t bytes() const { return baseBytes_ + last_.bytesDone; }
    double seconds() const { return static_cast<double>(timer_.elapsed()) / 1000.0; }

private:
    std::unique_ptr<oru::Progress> sink_;
    uint64_t total_;
    uint64_t baseItems_ = 0, baseBytes_ = 0;
    Info last_;
    QElapsedTimer timer_;
};

}  // namespace oru::ui
