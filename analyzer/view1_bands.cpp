// Octave and third-octave bands: the narrow-band line powers summed into bands, with the lines
// that straddle a band edge shared by the fraction of their interval on each side.
#include <cstdio>

#include "analyzer/iirfilter.h"
#include "analyzer/view1.h"
#include "analyzer/view1_internal.h"

const double x_okt[kOktCentres] = {16,   31.5, 63,   125,   250,   500,  1000,
                                   2000, 4000, 8000, 16000, 32000, 64000};
const double okt_[kOktCentres + 1] = {11.3,   22.6,   43.2,   86.4,    172.8,   345.6,   691.2,
                                      1382.4, 2764.8, 5529.6, 11059.2, 22118.4, 44236.8, 88473.6};
const double x_ok_3[kOkt3Centres] = {16,   20,    25,    31.5,  40,    50,    63,    80,    100,
                                     125,  160,   200,   250,   315,   400,   500,   630,   800,
                                     1000, 1250,  1600,  2000,  2500,  3150,  4000,  5000,  6300,
                                     8000, 10000, 12500, 16000, 20000, 25000, 31500, 40000, 50000};
const double okt3_[kOkt3Centres + 1] = {
    14.25, 18,   22.7, 28.5,  36,    45.4,  57,    72,    90.8,  114,   144,  182,  229,
    288,   363,  458,  577,   727,   916,   1154,  1454,  1832,  2309,  2909, 3666, 4619,
    5819,  7332, 9239, 11641, 14668, 18481, 23286, 29340, 36969, 46580, 58692};

namespace {

// Band powers and their sum; room for every band of either table.
double y[kOkt3Centres + 1];

int CentresBelow(double f, const double* centres, int n) {
  int k = 0;
  while (k < n && centres[k] < f) ++k;
  return k;
}

void BandAxis(ViewState* v, int nb, const double* edges, const double* centres, int ncentres) {
  v->count = nb + 1;
  Union(v, nb, edges);
  // The X axis of a band display is the band index; the centres are kept beside it.
  for (int k = 0; k < v->count; ++k) v->xData[k] = k < ncentres ? centres[k] : 0.0;
  v->xMin = 0.0;
  v->viewXFrom = 0.0;
  v->xMax = nb;
  v->viewXTo = nb;
  v->xScale = 1.0;
  v->plotStyle = kPlotBarsByIndex;
}

}  // namespace

int CallBandOkt(double f) { return CentresBelow(f, x_okt, kOktCentres); }
int CallBandOkt_3(double f) { return CentresBelow(f, x_ok_3, kOkt3Centres); }

void AxisX_Oktave(ViewState* v) { BandAxis(v, CallBandOkt(sp.fmax), okt_, x_okt, kOktCentres); }

void AxisX_Oktave_3(ViewState* v) {
  BandAxis(v, CallBandOkt_3(sp.fmax), okt3_, x_ok_3, kOkt3Centres);
}

void Union(ViewState* v, int nb, const double* edges) {
  if (nb < 0) nb = 0;
  if (nb > kOkt3Centres) nb = kOkt3Centres;
  for (int k = 0; k <= nb; ++k) y[k] = 0.0;
  const double df = sp.df;
  const double* Y = v->yData;
  const int lines = cus.lines;
  if (df > 0.0 && edges[0] / df < lines) {
    // Line j spreads its power evenly over [x_band[j-1], x_band[j]].
    int j = static_cast<int>(edges[0] / df) + 1;
    int k = 0;
    while (k < nb && j >= 1 && j < lines) {
      const double lo = x_band[j - 1], hi = x_band[j];
      const double e1 = edges[k], e2 = edges[k + 1], width = e2 - e1;
      if (width >= df) {
        if (e1 >= lo) {
          y[k] += (hi - e1) * Y[j] / df;  // the band's first, partial line
          ++j;
        } else if (e2 >= hi) {
          y[k] += Y[j];  // a whole line inside the band
          ++j;
        } else {
          y[k] += (e2 - lo) * Y[j] / df;  // the band ends inside line j; the rest goes on
          ++k;
        }
      } else {
        if (e1 <= lo) {
          y[k] += (e2 - lo) * Y[j] / df;
          ++k;
        } else if (e2 <= hi) {
          y[k] += Y[j] * width / df;  // band inside one line
          ++k;
        } else {
          y[k] += (hi - e1) * Y[j] / df;
          ++j;
        }
      }
    }
  }
  const double enbw = WC.enbw > 0.0 ? WC.enbw : 1.0;
  y[nb] = 0.0;
  for (int k = 0; k < nb; ++k) {
    y[k] /= enbw;
    y[nb] += y[k];
  }
  for (int k = 0; k <= nb; ++k) v->yData[k] = y[k];
  ResultRange(y, nb + 1, &v->yMax, &v->yMin);
}
