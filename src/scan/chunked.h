// Growable storage for the File tree that never copies what it holds: fixed-size chunks allocated as
// the tree grows. A vector would briefly hold its old and new buffers at every growth and at the final
// trim, doubling the peak memory of a scan; here the peak is the data plus one chunk. The pages of a
// chunk are made resident a run of about 64 KiB at a time, just before the writes reach them (see
// pages.h), so untouched pages stay free and the faults come in runs.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "scan/pages.h"

namespace spadrim {

// The bytes made resident at a time ahead of the writes: a run long enough to save most of the cost of
// faulting pages in one by one, short enough to hold hardly more memory than is used.
inline constexpr std::size_t PREPARED_RUN = 64 * 1024;

// An array of trivially copyable records in chunks of 2^CHUNK_BITS.
template <typename T, unsigned CHUNK_BITS = 16>
class ChunkedArray {
    static_assert(std::is_trivially_copyable_v<T>);
    static constexpr std::size_t CHUNK = std::size_t{1} << CHUNK_BITS;
    static constexpr std::size_t MASK = CHUNK - 1;
    // Records per prepared run: a power of two, so runs tile the chunk.
    static constexpr std::size_t RUN =
        std::clamp<std::size_t>(std::bit_floor(PREPARED_RUN / sizeof(T)), 1, CHUNK);

  public:
    T& operator[](std::size_t i) { return chunks_[i >> CHUNK_BITS][i & MASK]; }
    const T& operator[](std::size_t i) const { return chunks_[i >> CHUNK_BITS][i & MASK]; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    void push_back(const T& value) {
        if ((size_ & MASK) == 0 && (size_ >> CHUNK_BITS) == chunks_.size()) {
            // Not value-initialised: pages nobody writes never become resident.
            chunks_.push_back(std::make_unique_for_overwrite<T[]>(CHUNK));
        }
        if ((size_ & (RUN - 1)) == 0)
            prepare_pages(&chunks_[size_ >> CHUNK_BITS][size_ & MASK], RUN * sizeof(T));
        chunks_[size_ >> CHUNK_BITS][size_ & MASK] = value;
        ++size_;
    }

    // Keeps the first `count` records and gives back the chunks past them.
    void truncate(std::size_t count) {
        if (count >= size_) return;
        size_ = count;
        chunks_.resize((count + MASK) >> CHUNK_BITS);
    }

    // Memory held, in bytes (for measurements).
    std::size_t capacity_bytes() const { return chunks_.size() * CHUNK * sizeof(T); }

  private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
};

// Name bytes end to end, addressed by offset. A name never straddles two chunks: one that does not fit
// the rest of a chunk starts the next, so every name is one contiguous slice. File names are at most a
// few hundred bytes and paths a few ten thousand, far below a chunk.
class NamePool {
    static constexpr unsigned CHUNK_BITS = 20;
    static constexpr std::size_t CHUNK = std::size_t{1} << CHUNK_BITS;
    static constexpr std::size_t MASK = CHUNK - 1;

  public:
    // The longest text the pool holds.
    static constexpr std::size_t MAX_TEXT = CHUNK;

    // The offset of the appended bytes, or nothing (and the pool unchanged) for text longer than
    // MAX_TEXT: a node keeps its name's whole length, so the pool never holds less than it was given.
    // The text may be bytes of the pool itself at or past its end (see rewind).
    std::optional<std::uint64_t> append(std::string_view text) {
        if (text.size() > MAX_TEXT) return std::nullopt;
        std::uint64_t offset = end_;
        if ((offset & MASK) + text.size() > CHUNK) offset = (offset | MASK) + 1;  // the tail stays unused
        if (!text.empty() && (offset >> CHUNK_BITS) == chunks_.size())
            chunks_.push_back(std::make_unique_for_overwrite<char[]>(CHUNK));
        if (!text.empty()) {
            char* chunk = chunks_[offset >> CHUNK_BITS].get();
            // The runs tile each chunk; the text may begin a run or cross into the next ones.
            const std::uint64_t end = offset + text.size();
            if ((offset & (PREPARED_RUN - 1)) == 0 || (offset ^ (end - 1)) >= PREPARED_RUN) {
                const std::uint64_t from =
                    (offset & (PREPARED_RUN - 1)) == 0 ? offset : (offset | (PREPARED_RUN - 1)) + 1;
                const std::uint64_t to =
                    std::min<std::uint64_t>(((end - 1) | (PREPARED_RUN - 1)) + 1, (offset | MASK) + 1);
                prepare_pages(chunk + (from & MASK), static_cast<std::size_t>(to - from));
            }
            std::memmove(chunk + (offset & MASK), text.data(), text.size());
        }
        end_ = offset + text.size();
        return offset;
    }

    std::string_view view(std::uint64_t offset, std::size_t length) const {
        if (length == 0) return {};
        return std::string_view(chunks_[offset >> CHUNK_BITS].get() + (offset & MASK), length);
    }

    // Moves the end back to `end`, keeping every chunk: the names past it may then be appended again
    // lower down, in the order they stand, before trim gives back what is left unused.
    void rewind(std::uint64_t end) { end_ = std::min(end_, end); }

    // Gives back the chunks past the end.
    void trim() { chunks_.resize(static_cast<std::size_t>((end_ + MASK) >> CHUNK_BITS)); }

    // The offset just past the last name.
    std::uint64_t size() const { return end_; }
    std::size_t capacity_bytes() const { return chunks_.size() * CHUNK; }

  private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::uint64_t end_ = 0;
};

}  // namespace spadrim
