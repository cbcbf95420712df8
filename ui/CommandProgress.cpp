// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CommandProgress.h"

namespace oru::ui {

CommandProgress::CommandProgress(std::unique_ptr<oru::Progress> sink, uint64_t bytesTotal)
    : sink_(std::move(sink)), total_(bytesTotal) {
    timer_.start();
}

void CommandProgress::nextCall() {
    baseItems_ += last_.itemsDone;
    baseBytes_ += last_.bytesDone;
    last_ = {};
}

void CommandProgress::update(const Info& info) {
    last_ = info;
    if (!sink_) return;
    Info whole = info;
    whole.itemsDone = items();
    whole.bytesDone = bytes();
    whole.bytesTotal = total_ != 0 ? std::max(total_, whole.bytesDone) : info.bytesTotal;
    sink_->update(whole);
}

bool CommandProgress::cancelled() { return (stop_ && *stop_) || (sink_ && sink_->cancelled()); }

void CommandProgress::skipped(const std::string& path, oru::SkipReason reason) { skipped_.push_back({path, reason}); }

}  // namespace oru::ui
