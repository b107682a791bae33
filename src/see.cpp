#include "see.h"
