// The built-in signal generator: one step of interleaved A/B samples per tick, in converter
// counts, both channels carrying the same signal.
#pragma once

// Produces one step into `half` (dbuf.blk values). Does nothing while the generator is off or
// before a run has sized the buffers.
int BufferArrySim();
// The converter scale the generator's levels are counted in.
void InitGenerator();

// The process-wide pseudo-random source of the generator: 0 … 32767, settable seed.
int SimRand();
void SimSrand(unsigned seed);

// Largest amplitude the converter can represent, mV (its ±10 V span).
constexpr double kMaxAmplitudeMv = 10000.0;
