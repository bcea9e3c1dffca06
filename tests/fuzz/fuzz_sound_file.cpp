// A sound file from elsewhere (WAV, and through the same reader FLAC, W64, RF64) as any bytes:
// it is refused with a reason or gives a header within the analysis' limits, and its records
// read back without running past what was asked for.
#include <vector>

#include "analyzer/soundfile.h"
#include "fuzz_settings_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = WriteFuzzFile("take.wav", data, size);
  static RecordingHeader h;
  if (ReadSoundFileHeader(path, &h) != nullptr) return 0;
  if (h.nrec < 1 || h.nrec > kRecordValues || h.nrecs < 1 || !(h.srate >= kMinRecordRate) ||
      h.srate > kMaxRecordRate) {
    std::abort();
  }
  constexpr long kRecords = 256;
  std::vector<int32_t> out(static_cast<std::size_t>(kRecords) * h.nrec + 1, 0x5a5a5a5a);
  const long got = ReadSoundRecords(path, 0, kRecords, h.nrec, out.data());
  if (got < 0 || got > kRecords || out.back() != 0x5a5a5a5a) std::abort();
  return 0;
}
