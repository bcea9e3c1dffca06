// Every module's interface in one include, for the modules that call across most of the program
// (start-up, run control, settings).
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/calibration.h"
#include "analyzer/calibration_sens.h"
#include "analyzer/collection.h"
#include "analyzer/cultivate1.h"
#include "analyzer/display1.h"
#include "analyzer/dkv.h"
#include "analyzer/file_ctrl_rec.h"
#include "analyzer/file_ctrl_rec_panel.h"
#include "analyzer/generation_panel.h"
#include "analyzer/iirfilter.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager_panel.h"
#include "analyzer/range_ch.h"
#include "analyzer/view1.h"
#include "analyzer/view1_panel.h"
#include "analyzer/views_panel.h"
