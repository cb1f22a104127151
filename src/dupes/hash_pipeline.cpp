// The reader's hashers. See hash_pipeline.h.
#include "dupes/hash_pipeline.h"

#include <algorithm>

namespace spadrim {

HashPipeline::HashPipeline(unsigned hashers, std::size_t buffers, std::size_t buffer_size)
    : buffer_size_(buffer_size), storage_(std::max<std::size_t>(buffers, 2)) {
    for (std::vector<unsigned char>& buffer : storage_) {
        buffer.resize(buffer_size);
        free_.push_back(buffer.data());
    }
    for (unsigned i = 0; i < hashers; ++i)
        hashers_.emplace_back([this] { hasher_loop(); });
}

HashPipeline::~HashPipeline() {
    {
        std::unique_lock hold(lock_);
        settled_.wait(hold, [&] { return queue_.empty() && running_ == 0; });
        stop_ = true;
    }
    work_.notify_all();
}

unsigned char* HashPipeline::take() {
    std::unique_lock hold(lock_);
    settled_.wait(hold, [&] { return !free_.empty(); });
    unsigned char* buffer = free_.back();
    free_.pop_back();
    return buffer;
}

void HashPipeline::give_back(unsigned char* buffer) {
    std::lock_guard hold(lock_);
    free_.push_back(buffer);
}

void HashPipeline::run(const Job& job) {
    HashStream& stream = *job.stream;
    switch (job.step) {
        case Step::UPDATE: stream.hash->update(job.buffer, job.size); break;
        case Step::FORK: stream.hash->copy_to(*job.target->hash); break;
        case Step::FINISH: break;
    }
    if (job.finish) {
        stream.digest = stream.hash->finish();
        stream.hash.reset();  // a job may hold many streams: only their digests stay
    }
}

void HashPipeline::post(const Job& job) {
    if (hashers_.empty()) {
        run(job);
        if (job.finish) job.stream->finished = true;
        if (job.buffer) give_back(job.buffer);
        return;
    }
    {
        std::lock_guard hold(lock_);
        queue_.push_back(job);
    }
    work_.notify_one();
}

void HashPipeline::update(HashStream& stream, unsigned char* buffer, std::size_t size, bool finish) {
    post(Job{Step::UPDATE, &stream, nullptr, buffer, size, finish, false});
}

void HashPipeline::hash_whole(HashStream& stream, unsigned char* buffer, std::size_t size) {
    post(Job{Step::UPDATE, &stream, nullptr, buffer, size, true, true});
}

void HashPipeline::fork(HashStream& from, HashStream& to) {
    post(Job{Step::FORK, &from, &to, nullptr, 0, false, false});
}

void HashPipeline::finish(HashStream& stream) {
    post(Job{Step::FINISH, &stream, nullptr, nullptr, 0, true, false});
}

void HashPipeline::wait(const HashStream& stream) {
    std::unique_lock hold(lock_);
    while (!stream.finished) {
        // Rather than wait for a hasher to be free, the reader hashes a waiting sample itself.
        const std::optional<std::size_t> next = runnable();
        if (next && queue_[*next].urgent) {
            run_queued(hold, *next);
        } else {
            settled_.wait(hold);
        }
    }
}

void HashPipeline::wait_all() {
    std::unique_lock hold(lock_);
    settled_.wait(hold, [&] { return queue_.empty() && running_ == 0; });
}

void HashPipeline::drop_queued() {
    std::lock_guard hold(lock_);
    drop_ = true;
}

std::optional<std::size_t> HashPipeline::runnable() const {
    const auto taken = [&](const HashStream* stream, std::size_t before) {
        if (stream->busy) return true;
        for (std::size_t i = 0; i < before; ++i) {
            if (queue_[i].stream == stream || queue_[i].target == stream) return true;
        }
        return false;
    };
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < queue_.size(); ++i) {
        const Job& job = queue_[i];
        if (taken(job.stream, i) || (job.target && taken(job.target, i))) continue;
        if (job.urgent) return i;
        if (!first) first = i;
    }
    return first;
}

void HashPipeline::run_queued(std::unique_lock<std::mutex>& hold, std::size_t index) {
    const Job job = queue_[index];
    queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(index));
    job.stream->busy = true;
    if (job.target) job.target->busy = true;
    ++running_;
    const bool skip = drop_;
    hold.unlock();
    if (!skip) run(job);
    hold.lock();
    job.stream->busy = false;
    if (job.target) job.target->busy = false;
    if (job.finish) job.stream->finished = true;
    if (job.buffer) free_.push_back(job.buffer);
    --running_;
    // Another job of the same stream may have become runnable, and the reader may wait.
    work_.notify_all();
    settled_.notify_all();
}

void HashPipeline::hasher_loop() {
    std::unique_lock hold(lock_);
    for (;;) {
        std::optional<std::size_t> next;
        work_.wait(hold, [&] { return stop_ || (next = runnable()).has_value(); });
        if (!next) return;  // stopped, and nothing left (the owner waited for the queue to empty)
        run_queued(hold, *next);
    }
}

}  // namespace spadrim
