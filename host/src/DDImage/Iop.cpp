#include "DDImage/Iop.h"

#include <algorithm>

#include "DDImage/Row.h"
#include "pixelCount.h"
#include "standin/MemoryIop.h"

namespace DD {
namespace Image {
Iop::Iop(Node* node) : Op(node) {}
Iop::~Iop() = default;

Op* Iop::default_input(int n) const {
  if (n != 0) return nullptr;
  const Format& f = projectFormat_;
  if (!defaultInput_ || !(defaultInput_->format() == f && defaultInput_->format().width() == f.width() &&
                          defaultInput_->format().height() == f.height()))
    defaultInput_ = std::make_unique<standin::BlackIop>(f);
  return defaultInput_.get();
}

bool Iop::test_input(int n, Op* op) const {
  return Op::test_input(n, op) && dynamic_cast<Iop*>(op) != nullptr;
}

Iop* Iop::input(int n) const { return dynamic_cast<Iop*>(Op::input(n)); }
Iop& Iop::input0() const { return *input(0); }

void Iop::_validate(bool for_real) {
  if (inputs() == 0) return;
  Iop* in = input(0);
  if (!in) return;
  in->validate(for_real);
  copy_info();
}

void Iop::copy_info() { copy_info(0); }

// Field by field: the host's Box, inside every info, has no copy assignment.
void Iop::copy_info(int n) {
  Iop* in = input(n);
  if (!in) return;
  const IopInfo& from = in->info();
  info_.setBox(from.box());
  info_.format(from.format());
  info_.full_size_format(from.full_size_format());
  info_.channels(from.channels());
  info_.first_frame(from.first_frame());
  info_.last_frame(from.last_frame());
}

void Iop::in_channels(int, ChannelSet&) const {}

void Iop::request(int x, int y, int r, int t, ChannelMask channels, int count) {
  if (requestedCount_ == 0) {
    requested_.set(x, y, r, t);
    requestedChannels_ = channels;
  } else {
    requested_.merge(x, y, r, t);
    requestedChannels_ += channels;
  }
  requestedCount_ += count;
  _request(x, y, r, t, channels, count);
}

void Iop::request(Box box, ChannelMask channels, int count) {
  request(box.x(), box.y(), box.r(), box.t(), channels, count);
}

const Box& Iop::requestedBox() const { return requested_; }
ChannelMask Iop::requested_channels() const { return requestedChannels_; }
int Iop::requested_count() const { return requestedCount_; }

void Iop::_request(int x, int y, int r, int t, ChannelMask channels, int count) {
  if (inputs() == 0) return;
  if (Iop* in = input(0)) in->request(x, y, r, t, channels, count);
}

void Iop::get(int y, int x, int r, ChannelMask channels, Row& row) {
  if (r <= x) return;
  const Box& b = info_.box();
  if (standin::pixelCount(b) == 0) {
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
