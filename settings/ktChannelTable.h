// Tables indexed by channel id hold one entry for every channel the host numbers, 0 to
// Chan_Last inclusive.
#pragma once

#include "DDImage/ChannelSet.h"

constexpr int kChannelTableSize = DD::Image::Chan_Last + 1;
