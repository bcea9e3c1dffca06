// FFT engine speed, side by side with FFTW (double, FFTW_ESTIMATE) and KissFFT (float) when they
// are installed, so ratios come from one run. Each iteration transforms a fresh copy of the same
// input (the copy is part of the measured time for every library alike).
#if VELTRA_HAVE_DSP

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <complex>
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

// Powers of two 1024 ... 16384 and 65536, mixed 1000 and 7*11*1024, chirp-z 1009 and 2053.
constexpr int kSizes[] = {1024, 2048, 4096, 8192, 16384, 65536, 1000, 7 * 11 * 1024, 1009, 2053};

void Sizes(benchmark::internal::Benchmark *b) {
    for (int n : kSizes) b->Arg(n);
}

[[maybe_unused]] void EvenSizes(benchmark::internal::Benchmark *b) {
    for (int n : kSizes)
        if (n % 2 == 0) b->Arg(n);
}

void BM_FFT(benchmark::State &state) {
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

void BM_ReFFT(benchmark::State &state) {
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
void BM_FFTW_c2c(benchmark::State &state) {
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
void BM_FFTW_r2c(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    double *in = fftw_alloc_real(n);
    fftw_complex *out = fftw_alloc_complex(n / 2 + 1);
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

#if VELTRA_HAVE_KISSFFT
// KissFFT as packaged by Debian is single precision.
void BM_KissFFT_c2c(benchmark::State &state) {
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
void BM_KissFFT_r2c(benchmark::State &state) {
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
