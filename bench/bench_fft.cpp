// FFT engine speed, side by side with FFTW (double, FFTW_ESTIMATE) and KissFFT (float) when they
// are installed, so ratios come from one run. Each iteration transforms a fresh copy of the same
// input (the copy is part of the measured time for every library alike). BM_FftTable gives the
// ratios from interleaved batches.
#if VELTRA_HAVE_DSP

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <ctime>
#include <vector>

#include "dsp/dsp.h"

#if VELTRA_HAVE_FFTW
#include <fftw3.h>
#endif
#if VELTRA_HAVE_KISSFFT
#include <kiss_fft.h>
#include <kiss_fftr.h>
#endif

namespace {

std::vector<double> Signal(int n) {
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = std::sin(0.37 * i) + 0.25 * std::cos(1.91 * i + 0.3);
  return x;
}

// Powers of two 1024 ... 65536, mixed 1000 and 7*11*1024, chirp-z 1009 and 2053.
constexpr int kSizes[] = {1024,  2048, 4096,          8192, 16384, 32768,
                          65536, 1000, 7 * 11 * 1024, 1009, 2053};

void Sizes(benchmark::internal::Benchmark* b) {
  for (int n : kSizes) b->Arg(n);
}

[[maybe_unused]] void EvenSizes(benchmark::internal::Benchmark* b) {
  for (int n : kSizes)
    if (n % 2 == 0) b->Arg(n);
}

void BM_FFT(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> re0 = Signal(n), im0(n, 0.5);
  std::vector<double> re(n), im(n);
  for (auto _ : state) {
    std::copy(re0.begin(), re0.end(), re.begin());
    std::copy(im0.begin(), im0.end(), im.begin());
    benchmark::DoNotOptimize(FFT(re.data(), im.data(), n));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FFT)->Apply(Sizes);

void BM_ReFFT(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> x0 = Signal(n);
  std::vector<double> x(n), y(n);
  for (auto _ : state) {
    std::copy(x0.begin(), x0.end(), x.begin());
    benchmark::DoNotOptimize(ReFFT(x.data(), y.data(), n));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReFFT)->Apply(Sizes);

#if VELTRA_HAVE_FFTW
// Complex transform, interleaved, out of place.
void BM_FFTW_c2c(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  fftw_complex *in = fftw_alloc_complex(n), *out = fftw_alloc_complex(n);
  fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
  const std::vector<double> re0 = Signal(n);
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) {
      in[i][0] = re0[i];
      in[i][1] = 0.5;
    }
    fftw_execute(plan);
    benchmark::DoNotOptimize(out[0][0]);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}
BENCHMARK(BM_FFTW_c2c)->Apply(Sizes);

// Real transform (r2c): n/2 + 1 complex outputs, the other half implied by symmetry.
void BM_FFTW_r2c(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  double* in = fftw_alloc_real(n);
  fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
  const std::vector<double> x0 = Signal(n);
  for (auto _ : state) {
    std::copy(x0.begin(), x0.end(), in);
    fftw_execute(plan);
    benchmark::DoNotOptimize(out[0][0]);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}
BENCHMARK(BM_FFTW_r2c)->Apply(Sizes);
#endif

// The comparison table in one benchmark per length: every repetition runs a short batch of each
// transform in turn (ours and FFTW's ESTIMATE and MEASURE plans, real and complex), timed in
// thread CPU time, so load from other processes falls on all of them alike. The counters are
// medians over the batches in microseconds, and their ratios:
//   re/r2cE  ReFFT / FFTW r2c ESTIMATE     cx/c2cE  FFT / FFTW c2c ESTIMATE
//   re/r2cM  ReFFT / FFTW r2c MEASURE      cx/c2cM  FFT / FFTW c2c MEASURE
//   half/re  ReFFTHalf / ReFFT             re/cx    ReFFT / FFT (real input against complex)
// Run: benchmarks --benchmark_filter=FftTable --benchmark_counters_tabular=true
double ThreadMicros() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec * 1e-3;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

void BM_FftTable(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> x0 = Signal(n), im0(n, 0.5);
  std::vector<double> x(n), y(n);
  // Batches of about 50 us of work keep the timer's own cost small.
  const int batch = std::max(1, 200000 / std::max(n, 1));
  enum { kRe, kHalf, kCx, kR2cE, kC2cE, kR2cM, kC2cM, kKinds };
  std::vector<double> times[kKinds];
  auto timed = [&](int kind, auto&& body) {
    const double t0 = ThreadMicros();
    for (int b = 0; b < batch; ++b) body();
    times[kind].push_back((ThreadMicros() - t0) / batch);
  };
  auto ours = [&] {
    timed(kRe, [&] {
      std::copy(x0.begin(), x0.end(), x.begin());
      benchmark::DoNotOptimize(ReFFT(x.data(), y.data(), n));
      benchmark::ClobberMemory();
    });
    timed(kHalf, [&] {
      std::copy(x0.begin(), x0.end(), x.begin());
      benchmark::DoNotOptimize(ReFFTHalf(x.data(), y.data(), n));
      benchmark::ClobberMemory();
    });
    timed(kCx, [&] {
      std::copy(x0.begin(), x0.end(), x.begin());
      std::copy(im0.begin(), im0.end(), y.begin());
      benchmark::DoNotOptimize(FFT(x.data(), y.data(), n));
      benchmark::ClobberMemory();
    });
  };
#if VELTRA_HAVE_FFTW
  double* rin = fftw_alloc_real(n);
  fftw_complex *rout = fftw_alloc_complex(n / 2 + 1), *cin = fftw_alloc_complex(n),
               *cout = fftw_alloc_complex(n);
  const fftw_plan r2c[2] = {fftw_plan_dft_r2c_1d(n, rin, rout, FFTW_ESTIMATE),
                            fftw_plan_dft_r2c_1d(n, rin, rout, FFTW_MEASURE)};
  const fftw_plan c2c[2] = {fftw_plan_dft_1d(n, cin, cout, FFTW_FORWARD, FFTW_ESTIMATE),
                            fftw_plan_dft_1d(n, cin, cout, FFTW_FORWARD, FFTW_MEASURE)};
  auto peers = [&] {
    for (int m = 0; m < 2; ++m) {
      timed(m == 0 ? kR2cE : kR2cM, [&] {
        std::copy(x0.begin(), x0.end(), rin);
        fftw_execute(r2c[m]);
        benchmark::DoNotOptimize(rout[0][0]);
        benchmark::ClobberMemory();
      });
      timed(m == 0 ? kC2cE : kC2cM, [&] {
        for (int i = 0; i < n; ++i) {
          cin[i][0] = x0[i];
          cin[i][1] = 0.5;
        }
        fftw_execute(c2c[m]);
        benchmark::DoNotOptimize(cout[0][0]);
        benchmark::ClobberMemory();
      });
    }
  };
#else
  auto peers = [] {};
#endif
  bool oursFirst = true;
  for (auto _ : state) {
    if (oursFirst) {
      ours();
      peers();
    } else {
      peers();
      ours();
    }
    oursFirst = !oursFirst;
  }
  double med[kKinds];
  for (int k = 0; k < kKinds; ++k) med[k] = Median(times[k]);
  auto ratio = [](double a, double b) { return b > 0.0 ? a / b : 0.0; };
  state.counters["ReFFT_us"] = med[kRe];
  state.counters["FFT_us"] = med[kCx];
  state.counters["half/re"] = ratio(med[kHalf], med[kRe]);
  state.counters["re/cx"] = ratio(med[kRe], med[kCx]);
#if VELTRA_HAVE_FFTW
  state.counters["re/r2cE"] = ratio(med[kRe], med[kR2cE]);
  state.counters["re/r2cM"] = ratio(med[kRe], med[kR2cM]);
  state.counters["cx/c2cE"] = ratio(med[kCx], med[kC2cE]);
  state.counters["cx/c2cM"] = ratio(med[kCx], med[kC2cM]);
  for (fftw_plan p : {r2c[0], r2c[1], c2c[0], c2c[1]}) fftw_destroy_plan(p);
  fftw_free(rin);
  fftw_free(rout);
  fftw_free(cin);
  fftw_free(cout);
#endif
}
BENCHMARK(BM_FftTable)->Apply(Sizes)->Iterations(41)->Unit(benchmark::kMicrosecond);

#if VELTRA_HAVE_KISSFFT
// KissFFT as packaged by Debian is single precision.
void BM_KissFFT_c2c(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  kiss_fft_cfg cfg = kiss_fft_alloc(n, 0, nullptr, nullptr);
  std::vector<kiss_fft_cpx> in(n), out(n);
  const std::vector<double> re0 = Signal(n);
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) in[i] = {static_cast<float>(re0[i]), 0.5f};
    kiss_fft(cfg, in.data(), out.data());
    benchmark::DoNotOptimize(out[0].r);
    benchmark::ClobberMemory();
  }
  kiss_fft_free(cfg);
}
BENCHMARK(BM_KissFFT_c2c)->Apply(Sizes);

// kiss_fftr takes even lengths only.
void BM_KissFFT_r2c(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  kiss_fftr_cfg cfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
  std::vector<float> in(n);
  std::vector<kiss_fft_cpx> out(n / 2 + 1);
  const std::vector<double> x0 = Signal(n);
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) in[i] = static_cast<float>(x0[i]);
    kiss_fftr(cfg, in.data(), out.data());
    benchmark::DoNotOptimize(out[0].r);
    benchmark::ClobberMemory();
  }
  kiss_fftr_free(cfg);
}
BENCHMARK(BM_KissFFT_r2c)->Apply(EvenSizes);
#endif

}  // namespace

#endif  // VELTRA_HAVE_DSP
