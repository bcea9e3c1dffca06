#include "analyzer/model.h"
