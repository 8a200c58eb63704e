#include "maps/imagesurface.h"
