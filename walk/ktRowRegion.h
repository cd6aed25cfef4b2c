// The part of one output row that a row engine fills: row y, columns x .. r-1.
#pragma once

namespace orvel {

struct RowRegion {
  int y, x, r;
};

}  // namespace orvel
