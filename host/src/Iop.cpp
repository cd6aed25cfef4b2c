#include "DDImage/Iop.h"

#include <algorithm>

#include "DDImage/MemoryIop.h"

namespace DD {
namespace Image {

Iop::Iop(Node* node) : Op(node) {}
Iop::~Iop() = default;

Op* Iop::default_input(int n) const {
  if (n != 0) return nullptr;
  const Format& f = outputContext().format();
  if (!defaultInput_ || !(defaultInput_->format() == f)) defaultInput_ = std::make_unique<BlackIop>(f);
  return defaultInput_.get();
}

bool Iop::test_input(int n, Op* op) const {
  return Op::test_input(n, op) && dynamic_cast<Iop*>(op) != nullptr;
}

void Iop::_validate(bool for_real) {
  if (inputs() == 0) return;
  Iop* in = input(0);
  if (!in) return;
  in->validate(for_real);
  copy_info();
}

void Iop::copy_info() { copy_info(0); }

void Iop::copy_info(int n) {
  Iop* in = input(n);
  if (in) info_ = in->info();
}

void Iop::request(int x, int y, int r, int t, const ChannelSet& channels, int count) {
  requested_ = Box(x, y, r, t);
  requestedChannels_ = channels;
  needsOpen();
  _request(x, y, r, t, channels, count);
}

void Iop::_request(int x, int y, int r, int t, const ChannelSet& channels, int count) {
  if (inputs() == 0) return;
  if (Iop* in = input(0)) in->request(x, y, r, t, channels, count);
}

void Iop::get(int y, int x, int r, const ChannelSet& channels, Row& row) {
  if (r <= x) return;
  const Box& b = info_.box();
  if (b.empty()) {
    for (Channel z : channels) std::fill(row.writable(z) + x, row.writable(z) + r, 0.0f);
    return;
  }
  const int cy = b.clampy(y);
  const int ex = std::max(x, b.x());
  const int er = std::min(r, b.r());
  if (ex < er) {
    engine(cy, ex, er, channels, row);
    for (Channel z : channels) {
      float* p = row.writable(z);
      std::fill(p + x, p + ex, p[ex]);
      std::fill(p + er, p + r, p[er - 1]);
    }
    return;
  }
  // The span lies wholly left or right of the box: repeat the nearest edge pixel.
  const int edge = r <= b.x() ? b.x() : b.r() - 1;
  Row one(edge, edge + 1);
  engine(cy, edge, edge + 1, channels, one);
  for (Channel z : channels) {
    float* p = row.writable(z);
    std::fill(p + x, p + r, one[z][edge]);
  }
}

float Iop::at(int x, int y, Channel z) {
  Row row(x, x + 1);
  get(y, x, x + 1, ChannelSet(z), row);
  return row[z][x];
}

}  // namespace Image
}  // namespace DD
