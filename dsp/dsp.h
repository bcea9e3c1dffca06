// The signal-processing library: include this one header.
#pragma once

#include "dsp/fft.h"
#include "dsp/iir.h"
#include "dsp/signals.h"
#include "dsp/windows.h"
