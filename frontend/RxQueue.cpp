#include "frontend/RxQueue.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace dkv {

RxQueue::~RxQueue() { delete[] storage_; }

bool RxQueue::Reset() {
  read_ = count_ = 0;
  if (storageBytes_ < static_cast<std::size_t>(kInitialCells)) {
    const std::size_t bytes = (kInitialCells + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    auto* fresh = new (std::nothrow) unsigned char[bytes];
    if (fresh == nullptr) {
      ringCells_ = 0;
      return false;
    }
    delete[] storage_;
    storage_ = fresh;
    storageBytes_ = bytes;
  }
  ringCells_ = kInitialCells;
  return true;
}

// Doubles what the ring holds (at most kMaxBytes), the bytes in order from index 0.
bool RxQueue::Grow() {
  const std::size_t cells = std::min((ringCells_ - 1) * 2, kMaxBytes) + 1;
  if (cells > storageBytes_) {
    const std::size_t bytes = (cells + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    auto* fresh = new (std::nothrow) unsigned char[bytes];
    if (fresh == nullptr) return false;
    const std::size_t first = std::min(count_, ringCells_ - read_);
    std::memcpy(fresh, storage_ + read_, first);
    std::memcpy(fresh + first, storage_, count_ - first);
    delete[] storage_;
    storage_ = fresh;
    storageBytes_ = bytes;
  } else {
    // Storage kept from before a Reset: straighten the ring in place.
    std::rotate(storage_, storage_ + read_, storage_ + ringCells_);
  }
  read_ = 0;
  ringCells_ = cells;
  return true;
}

bool RxQueue::Append(unsigned char byte) {
  if (ringCells_ == 0) return false;
  if (count_ == ringCells_ - 1) {
    if (ringCells_ - 1 < kMaxBytes) {
      if (!Grow()) return false;
    } else {
      read_ = (read_ + 1) % ringCells_;
      --count_;
      ++discarded_;
    }
  }
  storage_[(read_ + count_) % ringCells_] = byte;
  ++count_;
  return true;
}

bool RxQueue::Take(unsigned char* byte) {
  if (count_ == 0) return false;
  *byte = storage_[read_];
  read_ = (read_ + 1) % ringCells_;
  --count_;
  return true;
}

bool RxQueue::Peek(int index, unsigned char* byte) const {
  if (index < 0 || static_cast<std::size_t>(index) >= count_) return false;
  *byte = storage_[(read_ + static_cast<std::size_t>(index)) % ringCells_];
  return true;
}

std::size_t RxQueue::TakeDiscarded() {
  const std::size_t n = discarded_;
  discarded_ = 0;
  return n;
}

}  // namespace dkv
