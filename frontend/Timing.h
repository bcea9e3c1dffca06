// Millisecond time-outs on the monotonic clock, so a change of the wall clock
// never shortens or stretches a reply window.
#pragma once

#include <chrono>
#include <cstdint>

namespace dkv {

class Stopwatch {
 public:
  using Clock = std::chrono::steady_clock;

  Stopwatch() : start_(Clock::now()) {}
  // True once more than `ms` milliseconds have passed since construction.
  bool Exceeded(unsigned ms) const { return Clock::now() - start_ > std::chrono::milliseconds(ms); }
  // Whole milliseconds left of `ms`, never below 0.
  std::int64_t RemainingMs(unsigned ms) const {
    const auto left = start_ + std::chrono::milliseconds(ms) - Clock::now();
    const auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
    return whole > 0 ? whole : 0;
  }
  Clock::time_point Deadline(unsigned ms) const { return start_ + std::chrono::milliseconds(ms); }

 private:
  Clock::time_point start_;
};

}  // namespace dkv
