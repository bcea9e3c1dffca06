// Triggering, frame collection and the conditioning chain every source feeds.
#include "analyzer/collection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/sources.h"

namespace {

int Step() { return std::min(dbuf.blk, static_cast<int>(res.size())); }

// A level in volts as converter counts (truncated).
int Counts(double volts) {
  const double mvpc = hs.mvpc > 0.0 ? hs.mvpc : kMvPerCount;
  const double c = 1000.0 * volts / mvpc;
  if (!(c > -2147483647.0)) return -2147483647;
  if (!(c < 2147483647.0)) return 2147483647;
  return static_cast<int>(c);
}

// Splits `values` interleaved samples of res into the channel halves of wave.
void Deinterleave(int values) {
  const int w = cus.nchan;
  const int n = dbuf.n;
  dbuf.nframe = values / w;
  for (int j = 0; j < dbuf.nframe; ++j) {
    for (int ch = 0; ch < w; ++ch) wave[ch * n + j] = res[j * w + ch];
  }
}

void StepToTmp() {
  const int m = Step();
  if (static_cast<int>(tmp.size()) < m) tmp.resize(m);
  std::copy(res.begin(), res.begin() + m, tmp.begin());
}

// Index of the first trigger-channel sample of tmp[0, end), in pair firstPair or later, that
// crosses the level with the chosen slope; end or past it when none. The sample before tmp's
// first is the comparison base, so a crossing between two steps is seen; a run's very first
// sample has none and only sets the base.
int FindCrossing(int end, int level, int firstPair = 0) {
  const int w = cus.nchan;
  int k = dbuf.trigidx;
  if (k < 0 || k >= end) return end;
  int prev = rcu.hasbase ? rcu.trigbase : tmp[k];
  while (k < end) {
    const int x = tmp[k];
    const bool crosses =
        rcu.slope == 0 ? (prev <= level && x > level) : (prev >= level && x < level);
    if (crosses && k / w >= firstPair) break;
    prev = x;
    k += w;
  }
  return k;
}

// The trigger-channel sample of the pair before tmp[at] becomes the comparison base.
void BaseBefore(int at) {
  const int w = cus.nchan;
  if (at < w || dbuf.trigidx < 0) return;
  rcu.trigbase = tmp[at - w + dbuf.trigidx];
  rcu.hasbase = 1;
}

// Moves tmp[from, to) to the front and remembers it as carried, with the sample before it as
// the comparison base of its first pair.
void Carry(int from, int to) {
  BaseBefore(from);
  std::copy(tmp.begin() + from, tmp.begin() + to, tmp.begin());
  rcu.carry = to - from;
}

// Appends the pair holding trigger sample k to res at *filled.
void AppendPair(int k, int* filled) {
  const int w = cus.nchan;
  const int p = k / w * w;
  for (int c = 0; c < w; ++c) res[*filled + c] = tmp[p + c];
  *filled += w;
}

template <typename Keep>
int CollectWhere(Keep keep) {
  StepToTmp();
  adapt = tmp.data();
  if (dbuf.trigidx < 0) return 0;
  const int m = Step();
  int filled = 0;
  for (int k = dbuf.trigidx; k < m; k += cus.nchan) {
    if (keep(tmp[k])) AppendPair(k, &filled);
  }
  if (filled == 0) return 0;
  Deinterleave(filled);
  return 1;
}

// Hysteresis collection: a start crossing opens a collection that runs, across steps, until
// the ending level is passed.
int Hysteresis(bool upper) {
  StepToTmp();
  adapt = tmp.data();
  const int m = Step();
  if (dbuf.trigidx < 0 || dbuf.trigidx >= m) return 0;
  const int u = Counts(rcu.level);
  const int d = Counts(rcu.level2);
  const int w = cus.nchan;
  auto ends = [&](int x) { return upper ? x < d : x > u; };
  int filled = 0;
  int k = dbuf.trigidx;
  int prev = rcu.hasbase ? rcu.trigbase : tmp[k];
  // Collects from pair k up to the ending sample, which is not taken and is the base of the
  // next start.
  auto collect = [&] {
    while (k < m && !ends(tmp[k])) {
      AppendPair(k, &filled);
      k += w;
    }
    if (k < m) {
      marc_g = 0;
      prev = tmp[k];
      k += w;
    }
  };
  if (marc_g == 1) collect();
  while (k < m) {
    const int x = tmp[k];
    const bool starts = upper ? (prev <= u && x > u) : (prev >= d && x < d);
    if (!starts) {
      prev = x;
      k += w;
      continue;
    }
    marc_g = 1;
    collect();
  }
  BaseBefore(m);
  if (filled == 0) return 0;
  Deinterleave(filled);
  return 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Collection

int DataToWave() {
  StepToTmp();
  Deinterleave(Step());
  adapt = tmp.data();
  return 1;
}

int StartATrigg() {
  StepToTmp();
  if (dbuf.trigidx < 0) return 0;
  const int w = cus.nchan;
  const int m = Step();
  int k = FindCrossing(m, Counts(rcu.level));
  k = k / w * w;
  if (k >= m) {
    BaseBefore(m);
    return 0;
  }
  const int values = m - k;
  std::copy(tmp.begin() + k, tmp.begin() + m, res.begin());
  Deinterleave(values);
  return 1;
}

// Every event yields one frame of N pairs with P pairs before its crossing, and the search for
// the next one starts right after that frame. tmp holds only real samples of the run: an
// event with fewer than P pairs before it (just after the start or after the previous frame)
// is passed over, and an event whose frame is not complete yet is carried from its first pair,
// wherever in the held data it lies.
int Analog_Trigger() {
  const int w = cus.nchan;
  const int m = Step();
  const int n = dbuf.n;
  const int p = std::clamp(rcu.pretrig, 0, n / 2);
  int held = rcu.carry;
  if (held < 0 || held > n * w) {  // nothing sound to continue from
    held = 0;
    rcu.hasbase = 0;
  }
  if (static_cast<int>(tmp.size()) < held + m) tmp.resize(held + m);
  std::copy(res.begin(), res.begin() + m, tmp.begin() + held);
  const int end = held + m;
  if (dbuf.trigidx < 0) {
    rcu.carry = 0;
    return 0;
  }
  const int k = FindCrossing(end, Counts(rcu.level), p);
  if (k >= end) {
    Carry(std::max(0, end - p * w), end);
    return 0;
  }
  const int s = (k / w - p) * w;
  const int e = s + n * w;
  if (e > end) {
    Carry(s, end);
    return 0;
  }
  std::copy(tmp.begin() + s, tmp.begin() + e, res.begin());
  Deinterleave(e - s);
  Carry(e, end);
  return 1;
}

int LowValueTrigger() {
  const int l = Counts(rcu.level);
  return CollectWhere([l](int x) { return x <= l; });
}

int HighValueTrigger() {
  const int l = Counts(rcu.level);
  return CollectWhere([l](int x) { return x >= l; });
}

int InsideRegion() {
  const int hi = Counts(rcu.level);
  const int lo = Counts(rcu.level2);
  return CollectWhere([hi, lo](int x) { return lo <= x && x <= hi; });
}

int HighHisteresis() { return Hysteresis(true); }
int LowHisteresis() { return Hysteresis(false); }

int Collection() {
  if (count <= 0) return 0;
  const int m = dbuf.blk;
  if (m <= 0 || m > static_cast<int>(res.size()) || m > static_cast<int>(wave.size()) ||
      output < 0 || output + m > static_cast<int>(circbuff.size())) {
    return 0;
  }
  // Samples are stored with 7 guard bits below the converter's resolution.
  for (int i = 0; i < m; ++i) res[i] = circbuff[output + i] >> 7;
  count -= 1;
  output += m;
  if (output >= circlen) output = 0;
  // The modes that leave the auto-ranging view alone must not leave it on a buffer of an
  // earlier run.
  adapt = tmp.data();
  switch (rcu.runmode) {
    case 0:
    case 2: return DataToWave();
    case 1:
      if (marc_trig == 0) {
        marc_trig = StartATrigg();
        return marc_trig;
      }
      return DataToWave();
    case 3: return Analog_Trigger();
    case 4: return LowValueTrigger();
    case 5: return HighValueTrigger();
    case 6: return InsideRegion();
    case 7: return HighHisteresis();
    case 8: return LowHisteresis();
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Conditioning chain

void DelayText(char* text, int size) {
  const double t = sp.dt * sr.delay;
  if (std::fabs(t) > 1.0) {
    std::snprintf(text, static_cast<size_t>(size), "%1.3f,сек", t);
  } else {
    std::snprintf(text, static_cast<size_t>(size), "%1.3f,мс", 1000.0 * t);
  }
}

void BoundDelay() {
  // Frames and their delay margin must fit the decimated streams.
  const int limit = MaxStreamDelay();
  const int was = sr.delay;
  sr.delay = std::clamp(sr.delay, -limit, limit);
  if (sr.delay != was) NotifySetting(kChangedDelay);
}

int MaxStreamDelay() {
  const int n = std::clamp(cus.frameLen, 1, kMaxFrame);
  return std::max(0, kStreamLen - 2 * n - 1);
}

void SetSetupDelay() {
  const int n = std::clamp(cus.frameLen, 1, kMaxFrame);
  const int limit = MaxStreamDelay();
  sr.delay = std::clamp(sr.delay, -limit, limit);
  const int d = sr.delay;
  const int q = d / n;
  if (d >= 0) {
    sr.settle = q + 1;
    sr.offA = 0;
    sr.offB = d;
    sr.need = n * (sr.settle + 1);
  } else {
    sr.settle = q - 1;
    sr.offA = -d;
    sr.offB = 0;
    sr.need = -n * (sr.settle - 1);
  }
}

int FilterArry() {
  const int n = dbuf.nframe;
  const int halfFrame = dbuf.n;
  if (n <= 0 || n > kMaxFrame || halfFrame < n || static_cast<int>(wave.size()) < halfFrame + n)
    return 0;
  double sa = 0.0, sb = 0.0;
  for (int i = 0; i < n; ++i) {
    inpf_ChA[i] = wave[i];
    inpf_ChB[i] = wave[halfFrame + i];
    sa += inpf_ChA[i] * inpf_ChA[i];
    sb += inpf_ChB[i] * inpf_ChB[i];
  }
  hs.rmsA = std::sqrt(sa / n);
  hs.rmsB = std::sqrt(sb / n);
  const int formed = IIRFilter();
  if (sr.settle > 0) {
    sr.settle -= 1;
  } else if (sr.settle < 0) {
    sr.settle += 1;
  }
  return formed;
}

int IIRFilter() {
  const int n = dbuf.nframe;
  if (cus.iirtype == 4 || iir_ch[0] == nullptr || iir_ch[1] == nullptr) {
    std::copy(inpf_ChA, inpf_ChA + n, out_A);
    std::copy(inpf_ChB, inpf_ChB + n, out_B);
  } else {
    IIRCascadeFiltering(inpf_ChA, n, iir_ch[0], out_A);
    IIRCascadeFiltering(inpf_ChB, n, iir_ch[1], out_B);
  }
  return Thinning();
}

int Thinning() {
  const int n = dbuf.nframe;
  const int thin = std::max(cus.thin, 1);
  // The write positions always stand at the count; the count is what is trusted.
  const int fill = std::clamp(sr.fill, 0, kStreamLen);
  int j = 0;
  for (int i = 0; i < n && fill + j < kStreamLen; i += thin, ++j) {
    outf_ChA[fill + j] = out_A[i];
    outf_ChB[fill + j] = out_B[i];
  }
  // The count follows what was written, so a frame that is not a multiple of the
  // decimation keeps the stream and its count in step.
  sr.fill = fill + j;
  sr.wpA = outf_ChA + sr.fill;
  sr.wpB = outf_ChB + sr.fill;
  return sr.settle == 0 ? DataFormer() : 0;
}

int DataFormer() {
  const int n = std::min(dbuf.nframe, dbuf.n > 0 ? dbuf.n : kMaxFrame);
  const int frame = std::clamp(cus.frameLen, 1, kMaxFrame);
  if (n <= 0 || sr.fill < sr.need) return 0;
  if (sr.offA < 0 || sr.offB < 0 || sr.offA + n > sr.fill || sr.offB + n > sr.fill) return 0;
  std::copy(outf_ChA + sr.offA, outf_ChA + sr.offA + n, ca);
  std::copy(outf_ChB + sr.offB, outf_ChB + sr.offB + n, cb);
  // A short conditional frame is padded with silence rather than with an older frame's tail.
  if (n < frame) {
    std::fill(ca + n, ca + frame, 0.0);
    std::fill(cb + n, cb + frame, 0.0);
  }
  // Triggered frames are separate events: overlapping them would join one event's tail to the
  // head of the next, so the (dimmed) overlap ring does not apply to them.
  const bool triggered = !Source().recorded && (rcu.runmode == 1 || rcu.runmode >= 3);
  int a = triggered ? n : n - sr.ovsamp;
  if (a < 1) a = n;  // a frame shorter than the overlap must still move the streams on
  if (a > sr.fill) a = sr.fill;
  std::copy(outf_ChA + a, outf_ChA + sr.fill, outf_ChA);
  std::copy(outf_ChB + a, outf_ChB + sr.fill, outf_ChB);
  sr.fill -= a;
  sr.wpA = outf_ChA + sr.fill;
  sr.wpB = outf_ChB + sr.fill;
  return 1;
}

void Differ_(int n, double x[]) {
  if (n < 2 || !(sp.dt > 0.0)) return;
  const double k = 1.0 / sp.dt;
  double prev = 2.0 * x[0] - x[1];
  for (int i = 0; i < n; ++i) {
    const double t = x[i];
    x[i] = k * (x[i] - prev);
    prev = t;
  }
}

void Integr_Centrir(int n, double x[]) {
  if (n < 1) return;
  const double h = 0.5 * sp.dt;
  double prev = x[0];
  double acc = h * (x[0] + x[0]);
  x[0] = acc;
  double sum = acc;
  for (int i = 1; i < n; ++i) {
    acc += h * (prev + x[i]);
    prev = x[i];
    x[i] = acc;
    sum += acc;
  }
  const double mean = sum / n;
  for (int i = 0; i < n; ++i) x[i] -= mean;
}

int DifIntegrTime() {
  const int n = std::clamp(cus.frameLen, 1, kMaxFrame);
  auto apply = [n](int di, double* x) {
    switch (di) {
      case 0:
        Differ_(n, x);
        Differ_(n, x);
        break;
      case 1: Differ_(n, x); break;
      case 3: Integr_Centrir(n, x); break;
      case 4:
        Integr_Centrir(n, x);
        Integr_Centrir(n, x);
        break;
      default: break;
    }
  };
  apply(rcu.diA, ca);
  apply(rcu.diB, cb);
  std::copy(ca, ca + n, Rx);
  std::copy(cb, cb + n, Ry);
  return 0;
}
