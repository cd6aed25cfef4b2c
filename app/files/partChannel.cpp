#include "files/partChannel.h"

#include <algorithm>

using namespace DD::Image;
using namespace standin;

namespace {

// A copy of `image` with one more channel, `z`, whose plane is returned.
float* addPlane(LoadedImage& image, Channel z) {
  ChannelSet channels = image.image->channels();
  channels += z;
  auto grown = std::make_unique<MemoryIop>(image.image->format(), image.image->info().box(), channels);
  const Box& box = image.image->info().box();
  const size_t count = size_t(box.w()) * size_t(box.h());
  for (Channel c : image.image->channels()) std::copy_n(image.image->plane(c), count, grown->plane(c));
  image.image = std::move(grown);
  return image.image->plane(z);
}

}  // namespace

Status readPartChannel(const std::string& path, const std::string& name, double maxBytes, LoadedImage& image,
                       std::vector<std::string>& warnings) {
  // findChannel makes no channel id for a name that turns out to be no part's channel.
  const size_t dot = name.find('.');
  if (dot == std::string::npos || !image.image || image.image->channels().contains(findChannel(name.c_str())))
    return Status::success();
  const std::string part = name.substr(0, dot), channel = name.substr(dot + 1);
  LoadedImage other;
  std::vector<std::string> ignored;  // the file's warnings came with the first read
  if (!readImage(path, maxBytes, other, ignored, part).ok()) return Status::success();
  const auto found = std::find_if(other.names.begin(), other.names.end(),
                                  [&](const auto& entry) { return entry.second == channel || entry.second == name; });
  if (found == other.names.end())
    return Status::usage("part '" + part + "' of '" + path + "' has no channel " + channel);
  const Box& box = other.image->info().box();
  const Box& own = image.image->info().box();
  if (other.image->format().w() != image.image->format().w() ||
      other.image->format().h() != image.image->format().h() || box.x() != own.x() || box.y() != own.y() ||
      box.r() != own.r() || box.t() != own.t())
    return Status::usage("part '" + part + "' of '" + path + "' covers other pixels than the part read");
  const Channel z = hostChannel(name);
  float* plane = addPlane(image, z);
  std::copy_n(other.image->plane(found->first), size_t(box.w()) * size_t(box.h()), plane);
  image.names[z] = name;
  image.fileChannels.push_back(name);
  // The part read and this one are the two the render uses: no warning that only the first is read.
  const std::string several = "'" + path + "' has several parts";
  warnings.erase(std::remove_if(warnings.begin(), warnings.end(),
                                [&](const std::string& w) { return w.rfind(several, 0) == 0; }),
                 warnings.end());
  return Status::success();
}
