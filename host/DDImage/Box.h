// An integer rectangle: columns x .. r-1, rows y .. t-1.
#pragma once

#include <algorithm>

namespace DD {
namespace Image {

class Box {
 public:
  Box() = default;
  Box(int x, int y, int r, int t) : x_(x), y_(y), r_(r), t_(t) {}

  int x() const { return x_; }
  int y() const { return y_; }
  int r() const { return r_; }
  int t() const { return t_; }
  int w() const { return r_ - x_; }
  int h() const { return t_ - y_; }
  bool empty() const { return r_ <= x_ || t_ <= y_; }

  void x(int v) { x_ = v; }
  void y(int v) { y_ = v; }
  void r(int v) { r_ = v; }
  void t(int v) { t_ = v; }
  void set(int x, int y, int r, int t) { *this = Box(x, y, r, t); }
  void set(const Box& b) { *this = b; }

  // Moves the edges by the given amounts (negative dx, dy grow the box).
  void move(int dx, int dy, int dr, int dt) {
    x_ += dx;
    y_ += dy;
    r_ += dr;
    t_ += dt;
  }
  void intersect(const Box& b) {
    x_ = std::max(x_, b.x_);
    y_ = std::max(y_, b.y_);
    r_ = std::min(r_, b.r_);
    t_ = std::min(t_, b.t_);
  }
  void merge(const Box& b) {
    if (b.empty()) return;
    if (empty()) {
      *this = b;
      return;
    }
    x_ = std::min(x_, b.x_);
    y_ = std::min(y_, b.y_);
    r_ = std::max(r_, b.r_);
    t_ = std::max(t_, b.t_);
  }
  int clampx(int v) const { return std::max(x_, std::min(v, r_ - 1)); }
  int clampy(int v) const { return std::max(y_, std::min(v, t_ - 1)); }
  bool operator==(const Box& b) const {
    return x_ == b.x_ && y_ == b.y_ && r_ == b.r_ && t_ == b.t_;
  }

 private:
  int x_ = 0, y_ = 0, r_ = 0, t_ = 0;
};

}  // namespace Image
}  // namespace DD
