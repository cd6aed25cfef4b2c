#include "files/fileMapping.h"

using DD::Image::Box;
using DD::Image::Format;

Format hostFormat(const FileWindow& d) {
  return Format(d.width, d.height, d.x, d.y, d.x + d.width, d.y + d.height);
}

int hostRow(int fileRow, const FileWindow& d) {
  const int ymin = d.y, ymax = d.y + d.height - 1;
  return ymin + ymax - fileRow;
}

Box hostBox(const FileWindow& w, const FileWindow& d) {
  const int bottom = hostRow(w.y + w.height - 1, d);
  return Box(w.x, bottom, w.x + w.width, bottom + w.height);
}

FileWindow fileWindow(const Box& box, const Format& format) {
  const FileWindow d = displayWindow(format);
  // Flipping is its own inverse: the file row of host row t - 1 is the window's top.
  return FileWindow{box.x(), hostRow(box.t() - 1, d), box.w(), box.h()};
}

FileWindow displayWindow(const Format& f) { return FileWindow{f.x(), f.y(), f.w(), f.h()}; }

using namespace DD::Image;

Channel hostChannel(const std::string& fileName) { return getChannel(fileName.c_str()); }

Channel deepHostChannel(const std::string& name) {
  if (name == "Z" || name == "depth.Z") return Chan_DeepFront;
  if (name == "ZBack" || name == "depth.ZBack") return Chan_DeepBack;
  return hostChannel(name);
}

std::string fileChannelName(const ChannelNames& names, Channel z) {
  const auto it = names.find(z);
  if (it != names.end()) return it->second;
  switch (z) {
    case Chan_Red:
      return "R";
    case Chan_Green:
      return "G";
    case Chan_Blue:
      return "B";
    case Chan_Alpha:
      return "A";
    case Chan_Z:
      return "Z";
    default:
      return getName(z) ? getName(z) : "";
  }
}
