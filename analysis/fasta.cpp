#include "analysis/fasta.h"
