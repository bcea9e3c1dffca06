// Radix kernels and the small vector helpers shared by the stages of the FFT engine.
#pragma once

namespace dspfft {

// Radix kernel constants, stored rather than computed.
constexpr double k3a = -1.5;               // cos(2pi/3) - 1
constexpr double k3b = 0.86602540378444;   // sin(2pi/3)
constexpr double k5a = -1.25;              // (cos u + cos 2u)/2 - 1, u = 2pi/5
constexpr double k5b = 0.55901699437495;   // (cos u - cos 2u)/2
constexpr double k5c = -0.95105651629515;  // -sin u
constexpr double k5d = -1.5388417685876;   // -(sin u + sin 2u)
constexpr double k5e = 0.36327126400268;   // sin u - sin 2u
constexpr double k8 = 0.70710678118655;    // cos(pi/4)

// Two neighbouring doubles as one vector; the compiler maps it to the machine's SIMD registers.
typedef double V2 __attribute__((vector_size(16)));
typedef long long V2i __attribute__((vector_size(16)));
typedef double V4 __attribute__((vector_size(32)));
typedef long long V4i __attribute__((vector_size(32)));

// Unaligned views of the same vectors, allowed to alias the doubles they are loaded from.
typedef double V2u __attribute__((vector_size(16), aligned(8), may_alias));
typedef double V4u __attribute__((vector_size(32), aligned(8), may_alias));

inline V2 Load2(const double* p) { return *reinterpret_cast<const V2u*>(p); }
inline void Store2(double* p, V2 v) { *reinterpret_cast<V2u*>(p) = v; }
// Vectors wider than the baseline travel by reference (their by-value ABI differs with AVX).
__attribute__((always_inline)) inline void LoadV(double& v, const double* p) { v = *p; }
__attribute__((always_inline)) inline void LoadV(V4& v, const double* p) {
  v = *reinterpret_cast<const V4u*>(p);
}
__attribute__((always_inline)) inline void StoreV(double* p, const double& v) { *p = v; }
__attribute__((always_inline)) inline void StoreV(double* p, const V4& v) {
  *reinterpret_cast<V4u*>(p) = v;
}
inline V2 Swap2(V2 v) {
#if defined(__clang__)
  return __builtin_shufflevector(v, v, 1, 0);
#else
  return __builtin_shuffle(v, V2i{1, 0});
#endif
}

__attribute__((always_inline)) inline void Reverse4(V4& v) {
#if defined(__clang__)
  v = __builtin_shufflevector(v, v, 3, 2, 1, 0);
#else
  v = __builtin_shuffle(v, V4i{3, 2, 1, 0});
#endif
}

// ---- radix kernels, inlined into the stage loops --------------------------------------------

// T is double, or a vector of neighbouring values (V4) processed alike.
template <typename T>
inline void Kernel4(T re[], T im[]) {
  const T t1r = re[0] + re[2], t1i = im[0] + im[2];
  const T t2r = re[1] + re[3], t2i = im[1] + im[3];
  const T m2r = re[0] - re[2], m2i = im[0] - im[2];
  const T m3r = im[1] - im[3], m3i = re[3] - re[1];
  re[0] = t1r + t2r;
  im[0] = t1i + t2i;
  re[2] = t1r - t2r;
  im[2] = t1i - t2i;
  re[1] = m2r + m3r;
  im[1] = m2i + m3i;
  re[3] = m2r - m3r;
  im[3] = m2i - m3i;
}

// Two 4-point transforms (even and odd samples) joined by the eighth roots of unity.
template <typename T>
inline void Kernel8(T re[], T im[]) {
  T er[4] = {re[0], re[2], re[4], re[6]}, ei[4] = {im[0], im[2], im[4], im[6]};
  T orr[4] = {re[1], re[3], re[5], re[7]}, oi[4] = {im[1], im[3], im[5], im[7]};
  Kernel4(er, ei);
  Kernel4(orr, oi);
  // odd[k] *= exp(-j*pi*k/4): k = 1 -> k8 (1 - j), k = 2 -> -j, k = 3 -> -k8 (1 + j).
  const T o1r = k8 * (orr[1] + oi[1]), o1i = k8 * (oi[1] - orr[1]);
  const T o2r = oi[2], o2i = -orr[2];
  const T o3r = k8 * (oi[3] - orr[3]), o3i = -k8 * (orr[3] + oi[3]);
  re[0] = er[0] + orr[0];
  im[0] = ei[0] + oi[0];
  re[4] = er[0] - orr[0];
  im[4] = ei[0] - oi[0];
  re[1] = er[1] + o1r;
  im[1] = ei[1] + o1i;
  re[5] = er[1] - o1r;
  im[5] = ei[1] - o1i;
  re[2] = er[2] + o2r;
  im[2] = ei[2] + o2i;
  re[6] = er[2] - o2r;
  im[6] = ei[2] - o2i;
  re[3] = er[3] + o3r;
  im[3] = ei[3] + o3i;
  re[7] = er[3] - o3r;
  im[7] = ei[3] - o3i;
}

template <typename T>
inline void Kernel2(T re[], T im[]) {
  const T r = re[0] - re[1], i = im[0] - im[1];
  re[0] += re[1];
  im[0] += im[1];
  re[1] = r;
  im[1] = i;
}

template <typename T>
inline void Kernel3(T re[], T im[]) {
  const T t1r = re[1] + re[2], t1i = im[1] + im[2];
  re[0] += t1r;
  im[0] += t1i;
  const T m1r = k3a * t1r, m1i = k3a * t1i;
  const T m2r = k3b * (im[1] - im[2]), m2i = k3b * (re[2] - re[1]);
  const T s1r = re[0] + m1r, s1i = im[0] + m1i;
  re[1] = s1r + m2r;
  im[1] = s1i + m2i;
  re[2] = s1r - m2r;
  im[2] = s1i - m2i;
}

template <typename T>
inline void Kernel5(T re[], T im[]) {
  const T t1r = re[1] + re[4], t1i = im[1] + im[4];
  const T t2r = re[2] + re[3], t2i = im[2] + im[3];
  const T t3r = re[1] - re[4], t3i = im[1] - im[4];
  const T t4r = re[3] - re[2], t4i = im[3] - im[2];
  const T t5r = t1r + t2r, t5i = t1i + t2i;
  re[0] += t5r;
  im[0] += t5i;
  const T m1r = k5a * t5r, m1i = k5a * t5i;
  const T m2r = k5b * (t1r - t2r), m2i = k5b * (t1i - t2i);
  const T m3r = -k5c * (t3i + t4i), m3i = k5c * (t3r + t4r);
  const T m4r = -k5d * t4i, m4i = k5d * t4r;
  const T m5r = -k5e * t3i, m5i = k5e * t3r;
  const T s1r = re[0] + m1r, s1i = im[0] + m1i;
  const T s2r = s1r + m2r, s2i = s1i + m2i;
  const T s4r = s1r - m2r, s4i = s1i - m2i;
  const T s3r = m3r - m4r, s3i = m3i - m4i;
  const T s5r = m3r + m5r, s5i = m3i + m5i;
  re[1] = s2r + s3r;
  im[1] = s2i + s3i;
  re[2] = s4r + s5r;
  im[2] = s4i + s5i;
  re[3] = s4r - s5r;
  im[3] = s4i - s5i;
  re[4] = s2r - s3r;
  im[4] = s2i - s3i;
}

// Good-Thomas split 10 = 2 * 5: no twiddles between the two 5-point kernels.
template <typename T>
inline void Kernel10(T re[], T im[]) {
  T ar[5] = {re[0], re[2], re[4], re[6], re[8]}, ai[5] = {im[0], im[2], im[4], im[6], im[8]};
  T br[5] = {re[5], re[7], re[9], re[1], re[3]}, bi[5] = {im[5], im[7], im[9], im[1], im[3]};
  Kernel5(ar, ai);
  Kernel5(br, bi);
  static constexpr int kPlus[5] = {0, 6, 2, 8, 4};
  static constexpr int kMinus[5] = {5, 1, 7, 3, 9};
  for (int i = 0; i < 5; ++i) {
    re[kPlus[i]] = ar[i] + br[i];
    im[kPlus[i]] = ai[i] + bi[i];
    re[kMinus[i]] = ar[i] - br[i];
    im[kMinus[i]] = ai[i] - bi[i];
  }
}

}  // namespace dspfft
