// The front-end link's worker: every call into the control library runs on one thread of its
// own, in the order the panels asked for it, so a silent or slow unit (a reply window of
// 200 ms per command, ≈ 5 s for eight modules that do not answer) never holds the panels.
//
// Thread contract: the Link* functions are called from the user-interface thread only. The
// worker touches nothing but the library and the two queues below; it never reads the model
// records or a widget. What it has done comes back as reports that the user-interface thread
// takes with LinkTakeReport.
#pragma once

#include "analyzer/dkv.h"

enum LinkWord : int { kLinkGain, kLinkLowPass, kLinkHighPass };

struct LinkReport {
  enum Kind : int {
    kModuleStart,  // module `address` is being initialised
    kModuleDone,   // its initialisation gave `result` (> 0 answered)
    kConnectDone,  // connect finished: `result` modules answered, `link` the open link or null
    kCommandDone,  // command `word` to `address` gave `result` (`link` null: nothing was sent)
  };
  Kind kind;
  int address;
  int word;
  int result;
  DeviceLink* link;
};

// Closes the link held, opens COM1, initialises modules 1..8 in remote mode and, when any
// answered, sends `settings` (eight records) to the modules marked in use: high-pass, low-pass,
// gain, as a person connecting would see them sent. A link nobody answers is closed again.
void LinkConnect(const AmplifRecord* settings);
// Queues one gain or filter command for module `address`.
void LinkCommand(int word, int address, int value);
// Takes the oldest report; false when there is none.
bool LinkTakeReport(LinkReport* report);
// Blocks until every queued job has run (its reports are then waiting to be taken).
void LinkWaitIdle();
// Waits at most `waitMs` for the queued jobs, drops those not yet begun, lets the running
// library call end (it is bounded by its own reply windows), closes the link and stops the
// worker. Reports not yet taken are discarded.
void LinkShutdown(int waitMs);
