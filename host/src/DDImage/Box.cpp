#include "DDImage/Box.h"

#include <algorithm>

namespace DD {
namespace Image {

void Box::set(int x, int y, int r, int t) {
  x_ = x;
  y_ = y;
  r_ = r;
  t_ = t;
}
void Box::set(const Box& b) { set(b.x_, b.y_, b.r_, b.t_); }
bool Box::is_constant() const { return w() <= 1 && h() <= 1; }
void Box::clear() { set(0, 0, 1, 1); }

void Box::move(int dx, int dy) { set(x_ + dx, y_ + dy, r_ + dx, t_ + dy); }

// Negative dx, dy and positive dr, dt grow the box.
void Box::pad(int dx, int dy, int dr, int dt) { set(x_ + dx, y_ + dy, r_ + dr, t_ + dt); }
void Box::pad(int d) { pad(-d, -d, d, d); }

int Box::clampx(int v) const { return std::max(x_, std::min(v, r_ - 1)); }
int Box::clampy(int v) const { return std::max(y_, std::min(v, t_ - 1)); }

void Box::merge(const Box& b) { merge(b.x_, b.y_, b.r_, b.t_); }
void Box::merge(int x, int y, int r, int t) {
  set(std::min(x_, x), std::min(y_, y), std::max(r_, r), std::max(t_, t));
}

void Box::intersect(const Box& b) { intersect(b.x_, b.y_, b.r_, b.t_); }
void Box::intersect(int x, int y, int r, int t) {
  set(std::max(x_, x), std::max(y_, y), std::min(r_, r), std::min(t_, t));
}

bool Box::intersects(const Box& o) const { return x_ < o.r_ && o.x_ < r_ && y_ < o.t_ && o.y_ < t_; }
bool Box::contains(const Box& o) const { return x_ <= o.x_ && y_ <= o.y_ && o.r_ <= r_ && o.t_ <= t_; }
int Box::area() const { return w() * h(); }

bool operator==(const Box& a, const Box& b) {
  return a.x() == b.x() && a.y() == b.y() && a.r() == b.r() && a.t() == b.t();
}
bool operator!=(const Box& a, const Box& b) { return !(a == b); }

}  // namespace Image
}  // namespace DD
