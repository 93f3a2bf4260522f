#include "support/test_support.h"

bool ThreadBlocksOn(const void*, int) { return true; }
