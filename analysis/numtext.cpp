#include "analysis/numtext.h"
