// Static exchange evaluation.
#pragma once

#include "defs.h"
