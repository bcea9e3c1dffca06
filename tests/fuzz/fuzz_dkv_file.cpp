// "dkv5128.inf" as any bytes: every module keeps settings its front end can be sent.
#include "analyzer/dkv.h"
#include "fuzz_settings_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = WriteFuzzFile("dkv5128.inf", data, size);
  GetParamDKV5128From(path);
  for (const AmplifRecord& r : amplif) {
    if (!AmplifValid(r)) std::abort();
  }
  return 0;
}
