// The command line: NUL-separated arguments. Whatever is given is parsed into actions or
// refused with a reason, never read beyond its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "analyzer/automation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words{"veltra"};
  std::string cur;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(static_cast<char>(data[i]));
    }
  }
  words.push_back(cur);
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  AutomationPlan plan;
  std::string error;
  const int r = ParseAutomation(static_cast<int>(argv.size()), argv.data(), &plan, &error);
  if (r != 0 && (r != 2 || error.empty())) std::abort();
  if (r == 0 && !error.empty()) std::abort();
  return 0;
}
