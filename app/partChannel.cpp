#include "partChannel.h"

#include <algorithm>

#include "fileGeometry.h"
#include "inputFile.h"

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
  std::unique_ptr<OIIO::ImageInput> in;
  std::vector<std::string> ignored;  // the file's warnings came with the first read
  if (!openInputFile(path, maxBytes, in, ignored, part).ok()) return Status::success();
  const OIIO::ImageSpec& spec = in->spec();
  int index = -1;
  for (int c = 0; c < spec.nchannels && index < 0; ++c)
    if (spec.channel_name(c) == channel || spec.channel_name(c) == name) index = c;
  if (index < 0) return Status::usage("part '" + part + "' of '" + path + "' has no channel " + channel);
  const FileWindow display{spec.full_x, spec.full_y, spec.full_width, spec.full_height};
  const Box box = hostBox(FileWindow{spec.x, spec.y, spec.width, spec.height}, display);
  const Box& own = image.image->info().box();
  if (hostFormat(display).w() != image.image->format().w() ||
      hostFormat(display).h() != image.image->format().h() || box.x() != own.x() || box.y() != own.y() ||
      box.r() != own.r() || box.t() != own.t())
    return Status::usage("part '" + part + "' of '" + path + "' covers other pixels than the part read");
  std::vector<float> pixels(size_t(spec.width) * size_t(spec.height));
  if (!in->read_image(in->current_subimage(), 0, index, index + 1, OIIO::TypeDesc::FLOAT, pixels.data()))
    return Status::usage("cannot read the pixels of '" + path + "': " + firstLine(in->geterror()));
  const Channel z = hostChannel(name);
  float* plane = addPlane(image, z);
  const size_t w = size_t(spec.width), h = size_t(spec.height);
  for (size_t row = 0; row < h; ++row) std::copy_n(pixels.data() + row * w, w, plane + (h - 1 - row) * w);
  image.names[z] = name;
  image.fileChannels.push_back(name);
  // The part read and this one are the two the render uses: no warning that only the first is read.
  const std::string several = "'" + path + "' has several parts";
  warnings.erase(std::remove_if(warnings.begin(), warnings.end(),
                                [&](const std::string& w) { return w.rfind(several, 0) == 0; }),
                 warnings.end());
  return Status::success();
}
