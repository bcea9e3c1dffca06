// Panel-state files ("veltrafile", "triggfile") as any text: start-up takes what it can and
// leaves a model the measurement can run on, and every control stays usable.
#include <cmath>

#include "analyzer/initstruct.h"
#include "fuzz_ui_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzUserInterface();
  // The first part is the main panel's state, what follows a NUL the trigger panel's.
  std::size_t split = 0;
  while (split < size && data[split] != 0) ++split;
  WriteFuzzFile("veltrafile", data, split);
  WriteFuzzFile("triggfile", data + (split < size ? split + 1 : size),
                split < size ? size - split - 1 : 0);
  if (StartVeltra() != 0) std::abort();
  const bool sane = cus.frameLen >= 1024 && cus.frameLen <= 8192 && cus.lines > 0 &&
                    (cus.thin == 1 || cus.thin == 2 || cus.thin == 4 || cus.thin == 8) &&
                    std::isfinite(sp.df) && sp.df > 0.0 && cus.window >= 0 && cus.window <= 9;
  if (!sane) std::abort();
  int dimmed = 1;
  GetCtrlAttribute(mainpanel, MAIN_StartButton, ATTR_DIMMED, &dimmed);
  if (dimmed != 0) std::abort();
  ProcessSystemEvents();  // the panels replaced by this start are deleted from the event loop
  return 0;
}
