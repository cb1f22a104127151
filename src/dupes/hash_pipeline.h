// Hashing what one thread reads, either on that thread or on hasher threads beside it. The duplicate
// finder's reader on a rotating disk must read one file after another, so that the disk sees a single
// sequential stream, while SHA-256 would keep one core busy and the others idle: the reader hands each
// chunk it read to the hashers and goes on reading. Each message (a stream) is hashed by one hasher at a
// time, chunk after chunk in the order they were given; different streams are hashed side by side.
//
// Memory is a fixed pool of chunk buffers: the reader takes one before each read and blocks while all are
// with the hashers. The reader never holds more than two at once, so two are enough for progress.
//
// Threading: one thread (the reader) calls every member function; the hashers only touch the streams
// given to them, and a stream's digest may be read once wait(stream) returned.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "dupes/sha256.h"

namespace spadrim {

// One message being hashed. Made by the reader, which keeps it alive until wait_all() returned.
struct HashStream {
    std::optional<Sha256> hash = std::optional<Sha256>(std::in_place);
    std::optional<Digest> digest;  // set by finishing; nothing also when the platform failed
    bool finished = false;
    bool busy = false;  // a hasher works on it (guarded by the pipeline's lock)
};

class HashPipeline {
  public:
    // hashers 0: every step is done at once on the calling thread, with buffers of its own.
    HashPipeline(unsigned hashers, std::size_t buffers, std::size_t buffer_size);
    HashPipeline(const HashPipeline&) = delete;
    HashPipeline& operator=(const HashPipeline&) = delete;
    ~HashPipeline();  // waits for the hashers to finish what they were given

    std::size_t buffer_size() const { return buffer_size_; }
    // A buffer to read into; blocks while every buffer is in flight.
    unsigned char* take();
    // Gives a buffer back unused.
    void give_back(unsigned char* buffer);
    // Hashes size bytes of buffer into stream after what it was given before, then frees the buffer;
    // finish: the message ends there.
    void update(HashStream& stream, unsigned char* buffer, std::size_t size, bool finish = false);
    // A whole message in one buffer, hashed before the chunks of longer messages: the reader waits for it.
    void hash_whole(HashStream& stream, unsigned char* buffer, std::size_t size);
    // to continues from from's state as it is once everything given to from so far is hashed.
    void fork(HashStream& from, HashStream& to);
    void finish(HashStream& stream);
    // Blocks until stream's digest is in (hashing waiting whole messages meanwhile).
    void wait(const HashStream& stream);
    // Blocks until every step given so far is done.
    void wait_all();
    // Skip the hashing of what is still queued (the job was cancelled); buffers still come back.
    void drop_queued();

  private:
    enum class Step {
        UPDATE,
        FORK,
        FINISH
    };
    struct Job {
        Step step;
        HashStream* stream;
        HashStream* target;  // FORK: the stream that continues
        unsigned char* buffer;
        std::size_t size;
        bool finish;
        bool urgent;  // taken before the others that can run
    };
    static void run(const Job& job);
    void post(const Job& job);
    // Takes the job at index off the queue and runs it, the lock released meanwhile.
    void run_queued(std::unique_lock<std::mutex>& hold, std::size_t index);
    void hasher_loop();
    // The index of the first queued job whose streams are idle and have no earlier job queued, an urgent
    // one first.
    std::optional<std::size_t> runnable() const;

    std::size_t buffer_size_;
    std::vector<std::vector<unsigned char>> storage_;
    std::mutex lock_;
    std::condition_variable work_;     // a job was queued, or stop
    std::condition_variable settled_;  // a buffer came back or a job ended
    std::vector<unsigned char*> free_;
    std::deque<Job> queue_;
    std::size_t running_ = 0;
    bool stop_ = false;
    bool drop_ = false;
    std::vector<std::jthread> hashers_;  // last: joined before the rest goes
};

}  // namespace spadrim
