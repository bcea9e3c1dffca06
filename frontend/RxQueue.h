// Receive queue of a serial port: a ring of single-byte cells that grows by one
// cell whenever it is full, so no received byte is ever dropped or overwritten.
// Cells come from a pool of 1024-cell blocks; Reset rewinds the pool and reuses the
// blocks, which are freed only with the queue.
//
// Not locked: the owner serialises Append, Take, Peek and Reset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dkv {

class RxQueue {
 public:
  static constexpr int kInitialCells = 513;  // one more than the 512 it holds
  static constexpr int kCellsPerBlock = 1024;

  RxQueue() = default;
  ~RxQueue();
  RxQueue(const RxQueue&) = delete;
  RxQueue& operator=(const RxQueue&) = delete;

  // Builds an empty ring of kInitialCells. False when memory ran out (the queue is
  // then empty and unusable until a later Reset succeeds).
  bool Reset();
  // False only when the ring was full and no cell could be had.
  bool Append(unsigned char byte);
  // False when empty.
  bool Take(unsigned char* byte);
  // Byte `index` from the read end without taking it; false when not queued.
  bool Peek(int index, unsigned char* byte) const;
  bool Empty() const { return read_ == write_; }
  std::size_t Count() const;
  // Cells in the ring (its capacity plus one).
  std::size_t RingCells() const { return ringCells_; }
  std::size_t Blocks() const;

 private:
  struct Cell {
    Cell* next;
    unsigned char byte;
  };
  struct Block {
    Block* next;
    Cell cells[kCellsPerBlock];
  };

  Cell* NewCell();

  Block* firstBlock_ = nullptr;
  Block* currentBlock_ = nullptr;  // block the next free cell comes from
  int nextFree_ = 0;               // index of that cell in currentBlock_
  Cell* read_ = nullptr;
  Cell* write_ = nullptr;
  std::size_t ringCells_ = 0;
};

}  // namespace dkv
