// Recording headers come from outside recorders: any bytes are either refused with a reason or
// give a header whose every field is within the limits the analysis relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "analyzer/file_ctrl_rec.h"
#include "analyzer/initstruct.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static RecordingHeader h;
  const char* why = ParseRecordingHeader(reinterpret_cast<const char*>(data), size, &h);
  if (why != nullptr) return 0;
  const bool sane = h.nrec >= 1 && h.nrec <= kRecordValues && h.nrecs >= 1 &&
                    h.srate >= kMinRecordRate && h.srate <= kMaxRecordRate && h.flen >= 0 &&
                    h.runmode >= 0 && h.runmode <= kRunModes;
  if (!sane) std::abort();
  for (int k = 0; k < h.nrec; ++k) {
    if (h.input[k] < 0 || h.input[k] >= kInputs) std::abort();
    if (!(h.sen[k] > 0.0) || !(h.upc[k] > 0.0) || !(h.lo[k] > 0.0)) std::abort();
  }
  return 0;
}
