#pragma once
// An array of plain records kept in chunks that copies of the array share until one side writes.
//
// Copying the array (an undo capture, a tag clone) copies one pointer per chunk; the first write
// into a shared chunk copies that chunk alone. An undo record of an array whose records are
// rewritten in one region and cut off after it therefore costs the chunks that region spans, not
// the whole array. Chunks are shared only between copies of the array, never handed out, so no
// pointer into a chunk outlives a write.
//
// An array may also be made of records given by a rule (Generate): its chunks take no memory until
// a write lands in one, which then holds the rule's records for its part. Where writes go from one
// such chunk into the next, as a pass over the records does, the next two are made on threads of
// their own while the first is written (fresh memory costs more to fault in than writing it does).

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "host/scene/prepare_memory.h"

namespace fm::host {

template <typename T>
class SharedChunks {
 public:
  // Records per chunk: large enough that the chunk table is small next to the records, small
  // enough that a write into a shared array copies little it does not change.
  static constexpr size_t kChunkShift = 16;
  static constexpr size_t kChunkSize = size_t{1} << kChunkShift;

  // Fills `out` with the `count` records the rule gives from index `first` on.
  using Rule = std::function<void(size_t first, size_t count, T* out)>;

  SharedChunks() = default;
  // A copy shares the chunks and the rule, not the making of chunks ahead.
  SharedChunks(const SharedChunks& other)
      : chunks_(other.chunks_), rule_(other.rule_), size_(other.size_),
        reserved_(other.reserved_) {}
  SharedChunks& operator=(const SharedChunks& other) {
    if (this != &other) {
      StopMakers();
      chunks_ = other.chunks_;
      rule_ = other.rule_;
      size_ = other.size_;
      reserved_ = other.reserved_;
    }
    return *this;
  }
  SharedChunks(SharedChunks&&) noexcept = default;
  SharedChunks& operator=(SharedChunks&&) noexcept = default;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  T operator[](size_t index) const {
    const std::shared_ptr<Chunk>& chunk = chunks_[index >> kChunkShift];
    if (chunk) return (*chunk)[index & (kChunkSize - 1)];
    T record;
    (*rule_)(index, 1, &record);
    return record;
  }

  // The record, after making its chunk this array's own.
  T& Writable(size_t index) {
    const std::shared_ptr<Chunk>& chunk = chunks_[index >> kChunkShift];
    // Most writes land in a chunk already this array's alone.
    if (chunk != nullptr && chunk.use_count() == 1) return (*chunk)[index & (kChunkSize - 1)];
    return Own(index >> kChunkShift)[index & (kChunkSize - 1)];
  }

  // Makes the empty array `count` records given by `rule`.
  void Generate(size_t count, std::shared_ptr<const Rule> rule) {
    clear();
    rule_ = std::move(rule);
    chunks_.resize(ChunksFor(count));
    size_ = count;
  }

  // Room for `count` records is set aside in each chunk as it is started, so that appending up to
  // `count` records allocates every chunk once and no more than it needs.
  void reserve(size_t count) {
    if (count > reserved_) reserved_ = count;
    chunks_.reserve(ChunksFor(reserved_));
  }

  void push_back(const T& record) {
    if (size_ % kChunkSize == 0) {
      chunks_.push_back(NewChunk());
    }
    Own(chunks_.size() - 1).push_back(record);
    ++size_;
  }

  // New records are copies of `fill`; dropped chunks are let go without being copied, and a shared
  // chunk that is cut short is copied only up to the new end.
  void resize(size_t count, const T& fill) {
    StopMakers();
    if (count < size_) {
      chunks_.resize(ChunksFor(count));
      if (!chunks_.empty() && chunks_.back() != nullptr) {
        std::shared_ptr<Chunk>& last = chunks_.back();
        const size_t keep = count - (chunks_.size() - 1) * kChunkSize;
        if (last.use_count() > 1) {
          last = std::make_shared<Chunk>(last->begin(), last->begin() + static_cast<ptrdiff_t>(keep));
        } else {
          last->resize(keep);
        }
      }
      size_ = count;
      return;
    }
    while (size_ < count) {
      if (size_ % kChunkSize == 0) chunks_.push_back(NewChunk());
      Chunk& last = Own(chunks_.size() - 1);
      const size_t add = std::min(kChunkSize - size_ % kChunkSize, count - size_);
      last.insert(last.end(), add, fill);
      size_ += add;
    }
  }

  // Lets go of every record and every reservation.
  void clear() {
    StopMakers();
    std::vector<std::shared_ptr<Chunk>>().swap(chunks_);
    size_ = 0;
    reserved_ = 0;
    rule_.reset();
  }

 private:
  using Chunk = std::vector<T>;

  static size_t ChunksFor(size_t count) { return (count + kChunkSize - 1) / kChunkSize; }

  // The rule's records of chunk `c` of an array of `size` records.
  static std::shared_ptr<Chunk> Make(const Rule& rule, size_t c, size_t size) {
    const size_t first = c * kChunkSize;
    auto made = std::make_shared<Chunk>();
    made->reserve(kChunkSize);
    MakePresent(made->data(), kChunkSize * sizeof(T));
    made->resize(std::min(kChunkSize, size - first));
    rule(first, made->size(), made->data());
    return made;
  }

  // Makes one chunk of the rule at a time on a thread of its own, the one asked for last.
  // Chunk c is asked of makers_[c % kMakers].
  class Maker {
   public:
    Maker() : thread_([this] { Run(); }) {}
    ~Maker() {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
      }
      changed_.notify_all();
      thread_.join();
    }
    Maker(const Maker&) = delete;
    Maker& operator=(const Maker&) = delete;

    void Ask(std::shared_ptr<const Rule> rule, size_t c, size_t size) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (making_ == c || madeFor_ == c) return;  // asked already
        asked_ = Order{std::move(rule), c, size};
      }
      changed_.notify_all();
    }
    // Chunk `c` if it was asked for (waiting while it is made); null otherwise. An ask not yet
    // started is taken back: the writer makes the chunk itself sooner than this thread would.
    std::shared_ptr<Chunk> Take(size_t c) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (asked_.chunk == c) asked_ = Order{};
      changed_.wait(lock, [&] { return making_ != c || stop_; });
      if (madeFor_ != c) return nullptr;
      madeFor_ = kNone;
      return std::move(made_);
    }

   private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    struct Order {
      std::shared_ptr<const Rule> rule;
      size_t chunk = kNone;
      size_t size = 0;
    };
    void Run() {
      std::unique_lock<std::mutex> lock(mutex_);
      while (true) {
        changed_.wait(lock, [&] { return stop_ || asked_.rule != nullptr; });
        if (stop_) return;
        const Order order = std::move(asked_);
        asked_ = Order{};
        making_ = order.chunk;
        lock.unlock();
        std::shared_ptr<Chunk> made;
        try {
          made = Make(*order.rule, order.chunk, order.size);
        } catch (const std::bad_alloc&) {
          // Then the writer makes it when it gets there, and meets the shortage itself.
        }
        lock.lock();
        made_ = std::move(made);
        madeFor_ = order.chunk;
        making_ = kNone;
        changed_.notify_all();
      }
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    Order asked_;
    size_t making_ = kNone;
    size_t madeFor_ = kNone;
    std::shared_ptr<Chunk> made_;
    bool stop_ = false;
    std::thread thread_;  // last: it starts once the rest is made
  };

  // Chunk `c`, this array's own: a shared one is copied, one of the rule's is made.
  Chunk& Own(size_t c) {
    std::shared_ptr<Chunk>& chunk = chunks_[c];
    if (chunk == nullptr) {
      if (makers_[c % kMakers] != nullptr) chunk = makers_[c % kMakers]->Take(c);
      if (chunk == nullptr || chunk->size() != std::min(kChunkSize, size_ - c * kChunkSize)) {
        chunk = Make(*rule_, c, size_);
      }
      for (size_t ahead = 1; ahead <= kMakers; ++ahead) AskAhead(c + ahead);
    } else if (chunk.use_count() > 1) {
      chunk = std::make_shared<Chunk>(*chunk);
    }
    return *chunk;
  }

  // Where chunk `c` is still the rule's, it is made ahead; only for arrays of a few chunks or more,
  // which are worth a thread.
  void AskAhead(size_t c) {
    constexpr size_t kMakerFrom = 4;
    if (c >= chunks_.size() || chunks_[c] != nullptr || chunks_.size() < kMakerFrom) return;
    std::unique_ptr<Maker>& maker = makers_[c % kMakers];
    if (maker == nullptr) {
      try {
        maker = std::make_unique<Maker>();
      } catch (const std::system_error&) {
        return;  // then each chunk is made when it is written
      }
    }
    maker->Ask(rule_, c, size_);
  }

  void StopMakers() {
    for (std::unique_ptr<Maker>& maker : makers_) maker.reset();
  }

  std::shared_ptr<Chunk> NewChunk() const {
    auto chunk = std::make_shared<Chunk>();
    const size_t ahead = reserved_ > size_ ? reserved_ - size_ : 1;
    chunk->reserve(std::min(kChunkSize, ahead));
    return chunk;
  }

  std::vector<std::shared_ptr<Chunk>> chunks_;  // null: the rule's records
  std::shared_ptr<const Rule> rule_;
  size_t size_ = 0;
  size_t reserved_ = 0;  // how many records the appends are expected to reach
  // Chunks are made this many ahead, each by a thread of its own (chunk c by makers_[c % kMakers]):
  // making one costs more than writing into it, so with one thread the writer would wait for it.
  static constexpr size_t kMakers = 2;
  std::unique_ptr<Maker> makers_[kMakers];  // last: stopped before the rest goes
};

}  // namespace fm::host
