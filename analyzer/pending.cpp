// Stand-ins for routines and callbacks that their modules do not provide yet, so the tree links
// while the modules are written in parallel. Each is a one-line no-op (or the least a caller
// needs). Whoever implements a routine deletes its line here in the same commit.
#include "analyzer/menager.h"
#include "analyzer/panels.h"
#include "analyzer/pending.h"

#define PENDING_CB(name) \
  int name(int, int, int, void*, int, int) { return 0; }

// ---- calibration
PENDING_CB(SetSenA)
PENDING_CB(SetSenB)
PENDING_CB(SetLo)
PENDING_CB(SetDim)
void InitCalibration() {}
void SetParam_Calibr(int) {}

// ---- range_ch, dkv: front end
PENDING_CB(SetAcDc)
PENDING_CB(SetRectif)
PENDING_CB(SetKpCh)
PENDING_CB(SetKoef)
PENDING_CB(SetLPF)
PENDING_CB(SetHPF)
PENDING_CB(SetRange)
PENDING_CB(PExit)
PENDING_CB(Connect5128)
void AutoAdaptation() {}
int SaveParamDKV5128() { return 1; }
int GetParamDKV5128OfFile() { return 0; }
void Close5128() {}

