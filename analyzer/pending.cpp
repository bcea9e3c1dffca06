// Stand-ins for routines and callbacks that their modules do not provide yet, so the tree links
// while the modules are written in parallel. Each is a one-line no-op (or the least a caller
// needs). Whoever implements a routine deletes its line here in the same commit.
#include "analyzer/menager.h"
#include "analyzer/panels.h"
#include "analyzer/pending.h"

#define PENDING_CB(name) \
  int name(int, int, int, void*, int, int) { return 0; }

