// A slot for one result, filled by a worker thread and emptied by the main thread.
#pragma once

#include <mutex>
#include <optional>
#include <utility>

namespace spadrim {

template <class T>
class Mailbox {
  public:
    void put(T value) {
        std::lock_guard lock(mutex_);
        slot_ = std::move(value);
    }
    // The value, leaving the slot empty; nothing when it was empty.
    std::optional<T> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(slot_, std::nullopt);
    }

  private:
    std::mutex mutex_;
    std::optional<T> slot_;
};

}  // namespace spadrim
