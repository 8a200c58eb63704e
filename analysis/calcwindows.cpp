#include "analysis/calcwindows.h"
