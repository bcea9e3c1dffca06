// The measurement model: the records, run scalars, block buffers and static arrays the
// measurement reads and writes, the item and availability tables. Data only: the settings are
// written through the setters (setters.h), the derived values by DeriveModel alone.
//
// Everything here has static storage for the whole program and is touched only from the thread
// that runs the measurement. Frames hold at most kMaxFrame samples per channel.
#pragma once

#include <vector>

#include "dsp/iir.h"

// ---------------------------------------------------------------------------------------------
// Capacities
constexpr int kMaxFrame = 8192;          // largest FFT size N
constexpr int kMaxLines = 3201;          // spectral lines of the largest N: (int)(8192 / 2.56) + 1
constexpr int kFrame2 = 2 * kMaxFrame;   // 2N-point spectra, result halves, generator work
constexpr int kStreamLen = 65536;        // decimated stream per channel
constexpr int kResultLen = 2 * kFrame2;  // result arrays: one half per window
constexpr int kInputs = 8;               // inputs of the front end
constexpr int kCircSteps = 25;           // steps held by the circular buffer
constexpr int kItemText = 64;  // item label: 30 characters, UTF-8 (Cyrillic takes 2 bytes)
constexpr int kPathLen = 512;

// Converter: 24-bit, 20 V span.
constexpr int kFullScale = 1 << 24;
constexpr double kMvPerCount = 20000.0 / (kFullScale - 1);

// ---------------------------------------------------------------------------------------------
// Records

// Analysis geometry and anti-alias filter.
struct CusRecord {
  int nchan;         // always 2
  double srate;      // base rate in Hz, never below 1024
  int thin;          // decimation factor: 1, 2, 4 or 8
  int frameLen;      // N
  int halfLen;       // N / 2
  int lines;         // (int)(N / 2.56) + 1
  double iirfhigh;   // upper cut-off handed to the design, always 0
  double iirfcut;    // anti-alias cut-off in Hz
  int iirtype;       // 0 elliptic, 1 Chebyshev, 2 inverse Chebyshev, 3 Butterworth, 4 none
  int iirorder;      // 14
  double iirripple;  // dB
  double iiratten;   // dB
  int window;        // window type 0…9
  double rate;       // analysis rate chosen, Hz: srate / thin
  double overlap;    // overlap of successive frames, a fraction of N
};

// Derived parameters and totals.
struct SpRecord {
  double fmax;  // analysis bandwidth, Hz
  double df;    // line spacing, Hz
  double dt;    // effective sample interval, s
  double powerA, meanA, powerB, meanB;
  int dataReady;  // 1 once a frame has been processed since the last start
};

// Run control: one field per setting of the main and trigger panels.
struct RcuRecord {
  int measType;   // 0 spectra, 1 time averaging, 2 statistics, 3 spectra (other choices)
  int source;     // 0 unit input, 1 generator, 2 playback
  int adaptpass;  // 1 normal, 2 auto-ranging pass
  int backcolor;
  int adaptstep;
  int avgTarget;
  int avgCount;  // 1 at start, +1 after each processed frame
  int expAver;   // 0 linear, 1 exponential
  int onA, onB;
  int winsel;        // 0 window 1, 1 window 2, 2 both
  int chanA, chanB;  // inputs feeding channels A and B
  int diA, diB;      // 0 double diff., 1 diff., 2 none, 3 integr., 4 double integr.
  int colA, colB;    // playback record columns
  int cursync;       // cursor synchronisation
  int collect;       // 0 continuous, 1 conditional
  int collectchanged;
  int startmode;  // 0 free, 1 external, 2 by level
  int levelmode;  // 0…5
  int runmode;    // collect-run mode 0…8
  int triginput;  // trigger input as chosen
  int trigchan;   // trigger input when a channel carries it, or -1
  int slope;      // 0 rising, 1 falling
  int pretrig;    // samples per channel
  int carry;      // interleaved samples carried in the trigger buffer
  int trigbase;   // trigger-channel sample just before the first one still to be searched
  int hasbase;    // 0 at a start, until the run has seen a trigger-channel sample
  int colornormal, colortrig;
  double level;   // volts
  double level2;  // volts
};

// Decimated-stream state.
struct SrRecord {
  int delay;  // inter-channel delay in decimated samples
  int settle;
  double* wpA;  // write positions in outf_ChA / outf_ChB
  double* wpB;
  int offA, offB;
  int need;
  int fill;
  int delaystep;  // 512
  int ovsamp;     // overlap in samples
};

// Converter scale and input states.
struct HsRecord {
  int fullscale;
  double mvpc;
  double rmsA, rmsB;
  int acdc[kInputs];    // coupling as the AC/DC switch shows it: kCoupledAC (1) AC, 0 DC
  int inmode[kInputs];  // 0 ICP, 1 coefficient, 3 front-end module
};

// Generator.
struct WsRecord {
  int form;       // 0 sine, 1 Gaussian noise, 2 uniform noise, 3 two-level, 4 pulse
  double f1, f2;  // Hz
  double srate;   // copy of cus.srate
  int width;      // pulse width in samples
  int amp;        // counts
  double mvpc;
};

// Geometry of one collection step.
struct DbufRecord {
  int n;        // N
  int mult;     // frames per step, 1
  int nm;       // mult * N
  int blk;      // nm * nchan interleaved samples per step
  int trigidx;  // 0 A, 1 B, -1 none
  int nframe;   // samples per channel in the frame being processed
};

// Playback file.
struct FsRecord {
  int nrec;      // 32-bit values per record
  int nrecs;     // records in the recording
  int flen;      // frame length of the recording
  double srate;  // sample rate as read (stored only)
  double extra;  // second value of header line 3 (stored only)
  long pos;      // byte position of the next record
  int nread;     // records read per step
};

extern CusRecord cus;
extern SpRecord sp;
extern RcuRecord rcu;
extern HsRecord hs;

// The fields of channels A and B side by side: channel k (0 A, anything else B) is
// rcu.*kChannel[k].chan and so on; the accessors below read and write them.
struct ChannelFields {
  int RcuRecord::*on;
  int RcuRecord::*chan;
  int RcuRecord::*di;
  int RcuRecord::*col;
  double SpRecord::*power;
  double SpRecord::*mean;
  double HsRecord::*rms;
};
constexpr ChannelFields kChannel[2] = {
    {&RcuRecord::onA, &RcuRecord::chanA, &RcuRecord::diA, &RcuRecord::colA, &SpRecord::powerA,
     &SpRecord::meanA, &HsRecord::rmsA},
    {&RcuRecord::onB, &RcuRecord::chanB, &RcuRecord::diB, &RcuRecord::colB, &SpRecord::powerB,
     &SpRecord::meanB, &HsRecord::rmsB},
};
inline const ChannelFields& Channel(int k) { return kChannel[k == 0 ? 0 : 1]; }
inline int& ChannelOn(int k) { return rcu.*Channel(k).on; }
inline int& ChannelInput(int k) { return rcu.*Channel(k).chan; }
inline int& ChannelDiffInt(int k) { return rcu.*Channel(k).di; }
inline double ChannelPower(int k) { return sp.*Channel(k).power; }
inline double ChannelMean(int k) { return sp.*Channel(k).mean; }
inline double ChannelRms(int k) { return hs.*Channel(k).rms; }

// Frame length and line count, or 0 when the model holds a value no array could take.
inline int CheckedFrameLen() {
  return cus.frameLen > 0 && cus.frameLen <= kMaxFrame ? cus.frameLen : 0;
}
inline int CheckedLines() { return cus.lines > 0 && cus.lines <= kMaxLines ? cus.lines : 0; }
extern SrRecord sr;
extern WsRecord ws;
extern DbufRecord dbuf;
extern FsRecord fs;

// The previous choice when `row` (n flags) still offers it, else the first it offers; `none`
// when it offers nothing (or there is no row).
inline int KeepOrFirst(int previous, const int* row, int n, int none) {
  if (row == nullptr) return none;
  if (previous >= 0 && previous < n && row[previous]) return previous;
  for (int i = 0; i < n; ++i)
    if (row[i]) return i;
  return none;
}

// ---------------------------------------------------------------------------------------------
// Run scalars
extern int start;        // 1 while a measurement runs
extern int ok;           // generator path: a processed frame waits to be drawn
extern int gen_start;    // generator switched on
extern int marc_trig;    // one-shot level start has fired
extern int marc_g;       // hysteresis state
extern int input;        // circular buffer write index
extern int output;       // read index
extern int count;        // unread steps
extern int circlen;      // kCircSteps * blk
extern double simphase;  // sine phase carried between steps, degrees
extern double tim;       // noise seed carried between steps
extern double pu;        // pulse-position draw of the last step

// ---------------------------------------------------------------------------------------------
// Block buffers of a run (re-sized at every start by AllocBuff; ints)
extern std::vector<int> half;      // blk: generator output
extern std::vector<int> res;       // blk: step read from the circular buffer
extern std::vector<int> wave;      // blk: de-interleaved frame, A in 0…N-1, B in N…2N-1
extern std::vector<int> tmp;       // 2 * (blk + carry): trigger work buffer
extern std::vector<int> circbuff;  // circlen
extern int* adapt;                 // raw interleaved step for auto-ranging

// ---------------------------------------------------------------------------------------------
// Static arrays (doubles unless stated)
extern double inpf_ChA[kMaxFrame], inpf_ChB[kMaxFrame];    // input frame as doubles
extern double out_A[kMaxFrame], out_B[kMaxFrame];          // after the anti-alias filter
extern double outf_ChA[kStreamLen], outf_ChB[kStreamLen];  // decimated streams
extern double ca[kMaxFrame], cb[kMaxFrame];                // formed frame per channel
extern double Rx[kFrame2], Ix[kFrame2];                    // frame of A and its 2N spectrum
extern double Ry[kFrame2], Iy[kFrame2];                    // frame of B and its 2N spectrum
extern double cha[kMaxFrame], chb[kMaxFrame];              // time-averaging accumulators
extern double Gxx[kMaxFrame], Gyy[kMaxFrame];              // auto-spectrum accumulators
extern double Rxy[kMaxFrame], Ixy[kMaxFrame];              // cross-spectrum accumulators
extern double resX[kResultLen], resY[kResultLen];          // results: half per window
extern double rt[kResultLen], it[kResultLen];              // work: half per window
extern double weightcoef[kFrame2];                         // window coefficients, half per window
extern double x_band[kMaxLines];                           // i * df
extern double time_ch[kFrame2];                            // i * dt
extern double x_time[kFrame2];                             // lag axis, 0 at N/2
extern double part[kFrame2];                               // generator work
extern int bu[kFrame2];                                    // generator work (two-level, pulse)
extern int arry[9];                                        // one playback record
extern IIRFilterPtr iir_ch[2];                             // anti-alias filters of A and B

// ---------------------------------------------------------------------------------------------
// Item tables, read from the panels' rings at start-up
extern char itemcollect[2][kItemText];
extern char itemweight[10][kItemText];
extern char itemtrigger[6][kItemText];
extern char itemfunc[28][kItemText];
extern int nfunc[28];
extern char itemcursors[6][kItemText];
extern char extenitem[6][kItemText];
extern char runsetup[5][kItemText];
extern char weightsetup[10][kItemText];
extern char rankitem[4][kItemText];
extern int rankval[4];
extern char overitem[5][kItemText];
extern double overval[5];
extern char Yunit[7][kItemText];  // Y-unit labels of the result windows
extern char Xunit[7][kItemText];  // X-unit labels

// Availability tables (1 = offered).
extern const int ringcollect[4][2];
extern const int ringrun[4][2][3];
extern const int triggrun[4][2][6];
// Allowed analysis combinations [rate index 0…2][size index 0…3][overlap index 0…4].
extern const int param_analis[3][4][5];

// Collect-run mode texts by rcu.runmode; ringmode holds each text's length in bytes, over
// which a recording's mode line is compared.
constexpr int kRunModes = 9;
extern const char* const textmode[kRunModes];
extern const int ringmode[kRunModes];

// The recording that playback reads (its header beside it), and the file dialogs' start folder.
// Result files keep their own path (result_name, save.h).
extern char file_name[kPathLen];
extern char proj_dir[kPathLen];
