#include "maps/gcmap.h"
