#include "analysis/proposal.h"
