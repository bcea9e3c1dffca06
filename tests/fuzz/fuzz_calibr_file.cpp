// "Calibr.inf" as any bytes: whatever is taken from it leaves every input with a finite,
// positive scale, so no result can become infinite or NaN through the calibration.
#include <cmath>

#include "analyzer/calibration.h"
#include "fuzz_settings_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = WriteFuzzFile("Calibr.inf", data, size);
  GetParamCalibrFrom(path);
  for (int i = 0; i < kCalibrInputs; ++i) {
    const double scale = ChannelScale(i), offset = ChannelDbOffset(i);
    if (!std::isfinite(scale) || !(scale > 0.0) || !std::isfinite(offset)) std::abort();
    if (ChannelUnit(i)[kDimTextLen - 1] != '\0') std::abort();
  }
  return 0;
}
