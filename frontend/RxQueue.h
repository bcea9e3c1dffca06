// Receive queue of a serial port: a ring of bytes that grows (doubling, from 512) whenever
// it is full, up to kMaxBytes. Replies are a few dozen bytes and are taken at once, so only
// a device that chatters while nobody reads ever fills it; then the oldest bytes give way to
// the newest (a reply is always the latest thing on the line) and are counted as discarded.
// One byte of storage per byte held, in 1024-byte blocks; Reset keeps the storage for reuse,
// it is freed only with the queue.
//
// Not locked: the owner serialises Append, Take, Peek and Reset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dkv {

class RxQueue {
 public:
  static constexpr int kInitialCells = 513;  // one more than the 512 it holds
  static constexpr std::size_t kBlockBytes = 1024;
  static constexpr std::size_t kMaxBytes = 64 * 1024;

  RxQueue() = default;
  ~RxQueue();
  RxQueue(const RxQueue&) = delete;
  RxQueue& operator=(const RxQueue&) = delete;

  // Empties the queue to a ring of kInitialCells. False when memory ran out (the queue is
  // then empty and unusable until a later Reset succeeds).
  bool Reset();
  // Queues a byte; at kMaxBytes the oldest byte is dropped for it. False only when the ring
  // had to grow and no memory could be had (the byte is lost).
  bool Append(unsigned char byte);
  // False when empty.
  bool Take(unsigned char* byte);
  // Byte `index` from the read end without taking it; false when not queued.
  bool Peek(int index, unsigned char* byte) const;
  bool Empty() const { return count_ == 0; }
  std::size_t Count() const { return count_; }
  // Cells in the ring (what it holds before growing, plus one).
  std::size_t RingCells() const { return ringCells_; }
  // 1024-byte blocks of storage allocated.
  std::size_t Blocks() const { return storageBytes_ / kBlockBytes; }
  // Bytes dropped because the queue was at kMaxBytes, since the last call.
  std::size_t TakeDiscarded();

 private:
  bool Grow();

  unsigned char* storage_ = nullptr;
  std::size_t storageBytes_ = 0;
  std::size_t ringCells_ = 0;  // 0 until the first successful Reset
  std::size_t read_ = 0;       // index of the oldest byte
  std::size_t count_ = 0;
  std::size_t discarded_ = 0;
};

}  // namespace dkv
