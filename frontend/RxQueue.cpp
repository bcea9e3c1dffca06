#include "frontend/RxQueue.h"

#include <new>

namespace dkv {

RxQueue::~RxQueue() {
  Block* block = firstBlock_;
  while (block != nullptr) {
    Block* next = block->next;
    delete block;
    block = next;
  }
}

RxQueue::Cell* RxQueue::NewCell() {
  if (currentBlock_ == nullptr || nextFree_ == kCellsPerBlock) {
    Block* next = currentBlock_ == nullptr ? firstBlock_ : currentBlock_->next;
    if (next == nullptr) {
      next = new (std::nothrow) Block;
      if (next == nullptr) return nullptr;
      next->next = nullptr;
      if (currentBlock_ == nullptr) {
        firstBlock_ = next;
      } else {
        currentBlock_->next = next;
      }
    }
    currentBlock_ = next;
    nextFree_ = 0;
  }
  return &currentBlock_->cells[nextFree_++];
}

bool RxQueue::Reset() {
  currentBlock_ = nullptr;
  nextFree_ = 0;
  read_ = write_ = nullptr;
  ringCells_ = 0;
  Cell* first = NewCell();
  if (first == nullptr) return false;
  Cell* last = first;
  for (int i = 1; i < kInitialCells; ++i) {
    Cell* cell = NewCell();
    if (cell == nullptr) return false;
    last->next = cell;
    last = cell;
  }
  last->next = first;
  read_ = write_ = first;
  ringCells_ = kInitialCells;
  return true;
}

bool RxQueue::Append(unsigned char byte) {
  if (write_ == nullptr) return false;
  if (write_->next == read_) {
    // Full: link a fresh cell in after the write cursor rather than overwrite.
    Cell* cell = NewCell();
    if (cell == nullptr) return false;
    cell->next = write_->next;
    write_->next = cell;
    ++ringCells_;
  }
  write_->byte = byte;
  write_ = write_->next;
  return true;
}

bool RxQueue::Take(unsigned char* byte) {
  if (read_ == write_) return false;
  *byte = read_->byte;
  read_ = read_->next;
  return true;
}

bool RxQueue::Peek(int index, unsigned char* byte) const {
  if (index < 0) return false;
  const Cell* cell = read_;
  for (int i = 0; i < index; ++i) {
    if (cell == write_) return false;
    cell = cell->next;
  }
  if (cell == write_) return false;
  *byte = cell->byte;
  return true;
}

std::size_t RxQueue::Count() const {
  std::size_t n = 0;
  for (const Cell* cell = read_; cell != write_; cell = cell->next) ++n;
  return n;
}

std::size_t RxQueue::Blocks() const {
  std::size_t n = 0;
  for (const Block* block = firstBlock_; block != nullptr; block = block->next) ++n;
  return n;
}

}  // namespace dkv
