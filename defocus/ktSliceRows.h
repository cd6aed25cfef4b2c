// Accumulation rows of one output row: per corrective slice, one colour row and one weight row
// per channel, each addressed by absolute column over the output span.
#pragma once

#include <array>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "ktChannelTable.h"

// For each slice, 1024 row pointers indexed by channel id (null for channels not accumulated),
// each valid for columns rowX .. rowR-1.
using ktSliceRows = std::vector<std::array<float*, kChannelTableSize>>;
