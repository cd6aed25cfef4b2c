// An integer rectangle: columns x .. r-1, rows y .. t-1. A box is never smaller than one
// pixel by the host's convention; is_constant() tells a 1 x 1 box.
#pragma once

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API Box {
 public:
  Box() : x_(0), y_(0), r_(1), t_(1) {}
  Box(int x, int y, int r, int t) : x_(x), y_(y), r_(r), t_(t) {}
  Box(const Box& b) : x_(b.x_), y_(b.y_), r_(b.r_), t_(b.t_) {}

  int x() const { return x_; }
  void x(int v) { x_ = v; }
  int y() const { return y_; }
  void y(int v) { y_ = v; }
  int r() const { return r_; }
  void r(int v) { r_ = v; }
  int t() const { return t_; }
  void t(int v) { t_ = v; }
  int w() const { return r_ - x_; }
  void w(int v) { r_ = x_ + v; }
  int h() const { return t_ - y_; }
  void h(int v) { t_ = y_ + v; }

  void set(int x, int y, int r, int t);
  void set(const Box& b);
  bool is_constant() const;
  void clear();
  void move(int dx, int dy);
  void pad(int dx, int dy, int dr, int dt);
  void pad(int d);
  int clampx(int x) const;
  int clampy(int y) const;
  void merge(const Box&);
  void merge(int x, int y, int r, int t);
  void intersect(const Box&);
  void intersect(int x, int y, int r, int t);
  bool intersects(const Box& other) const;
  bool contains(const Box& other) const;
  int area() const;

 private:
  int x_, y_, r_, t_;
};

bool operator==(const DD::Image::Box& b1, const DD::Image::Box& b2);
bool operator!=(const DD::Image::Box& b1, const DD::Image::Box& b2);

}  // namespace Image
}  // namespace DD
