#include "ui/command_queue.h"

namespace mirebolt::ui {

void CommandQueue::Run(std::function<void()> command) {
    if (closed_) {
        return;
    }
    waiting_.push_back(std::move(command));
    if (running_) {
        return;  // the running command's caller runs it once that command has finished
    }
    running_ = true;
    while (!waiting_.empty()) {
        std::function<void()> next = std::move(waiting_.front());
        waiting_.pop_front();
        next();
    }
    running_ = false;
}

void CommandQueue::Close() {
    closed_ = true;
    waiting_.clear();
}

}  // namespace mirebolt::ui
