// Routines the run cycle and start-up call in modules that have no header of their own yet.
// When a module gains its header, include that header here and drop its lines below; the
// signatures must stay the same.
#pragma once

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/file_ctrl_rec.h"
#include "analyzer/display1.h"
#include "analyzer/dkv.h"
#include "analyzer/initstruct.h"
#include "analyzer/range_ch.h"
#include "analyzer/view1.h"

// collection: triggering, frame collection and the conditioning chain
#include "analyzer/collection.h"
#include "analyzer/iirfilter.h"

// iirfilter: data windows
void WeightFunction(CusRecord* c);
void WeightCtrl();

