// Bytes as an image file, read by orvel's flat and deep readers into the host's input operators.
// Every input gives an image or a usage status, never a crash, and a deep image read serves its
// samples. Seeds: small flat and deep EXR files (scanline and tiled, float and half, with and
// without ZBack).
#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DDImage/DeepPlane.h"
#include "deepReader.h"
#include "fuzz_input.h"
#include "imageReader.h"

namespace {

// Enough for every seed, small enough that a forged header is refused long before the
// fuzzer's memory limit.
constexpr double kMaxBytes = 64.0 * 1024 * 1024;

const std::string kScratch = "/tmp/exr_reader_fuzz-" + std::to_string(::getpid()) + ".exr";

// The file an OpenImageIO spec and writer make, as a seed.
template <typename Write>
fuzz::Writer seedFile(const OIIO::ImageSpec& spec, Write write) {
  auto out = OIIO::ImageOutput::create(kScratch);
  if (out && out->open(kScratch, spec)) write(*out);
  if (out) out->close();
  std::ostringstream bytes;
  bytes << std::ifstream(kScratch, std::ios::binary).rdbuf();
  std::remove(kScratch.c_str());
  return fuzz::Writer().text(bytes.str());
}

std::vector<fuzz::Writer> seeds() {
  std::vector<fuzz::Writer> out;
  for (int tile : {0, 2}) {  // R G B A Z, data window beyond the display window
    OIIO::ImageSpec spec(5, 3, 5, tile ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::FLOAT);
    spec.channelnames = {"R", "G", "B", "A", "Z"};
    spec.x = -1;
    spec.full_width = spec.full_height = 4;
    spec.tile_width = spec.tile_height = tile;
    std::vector<float> pixels(75);
    for (size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = i % 5 == 4 ? 50.0f + float(i) : 0.1f * float(i % 7);
    out.push_back(
        seedFile(spec, [&](OIIO::ImageOutput& o) { o.write_image(OIIO::TypeDesc::FLOAT, pixels.data()); }));
  }
  for (int variant = 0; variant < 3;
       ++variant) {  // scanline float, scanline half with ZBack, tiled with ZBack
    const OIIO::TypeDesc type = variant == 1 ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::FLOAT;
    std::vector<std::string> names{"R", "G", "B", "A", "Z", "id"};
    if (variant) names.push_back("ZBack");
    OIIO::ImageSpec spec(4, 3, int(names.size()), type);
    spec.channelnames = names;
    spec.channelformats.assign(names.size(), type);
    spec.channelformats[5] = OIIO::TypeDesc::UINT;
    spec.deep = true;
    spec.tile_width = spec.tile_height = variant == 2 ? 2 : 0;
    OIIO::DeepData data;
    data.init(spec);
    for (int p = 0; p < 12; ++p) data.set_samples(p, p % 3);
    for (int p = 0; p < 12; ++p)
      for (int s = 0; s < p % 3; ++s)
        for (int c = 0; c < int(names.size()); ++c)
          data.set_deep_value(p, c, s,
                              c >= 4 && c != 5 ? 40.0f + 10.0f * float(s + c - 4) : 0.25f * float(c + s));
    out.push_back(seedFile(spec, [&](OIIO::ImageOutput& o) { o.write_deep_image(data); }));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::writeSeedsIfAsked(argc, argv, seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(kScratch, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  std::vector<std::string> warnings;
  LoadedImage flat;
  const Status flatRead = readImage(kScratch, kMaxBytes, flat, warnings);
  FUZZ_CHECK(flatRead.ok() == (flat.image != nullptr) && (flatRead.ok() || flatRead.code == kExitUsage));
  LoadedDeep deep;
  const Status deepRead = readDeepImage(kScratch, kMaxBytes, deep, warnings);
  FUZZ_CHECK(deepRead.ok() == (deep.image != nullptr) && (deepRead.ok() || deepRead.code == kExitUsage));
  if (!deep.image) return 0;
  // Every sample, as the node asks for them.
  DD::Image::DeepPlane plane;
  const DD::Image::DeepInfo& info = deep.image->deepInfo();
  FUZZ_CHECK(deep.image->deepEngine(info.box(), info.channels(), plane) && plane.box() == info.box());
  volatile float sum = 0;
  for (int y = plane.box().y(); y < plane.box().t(); ++y)
    for (int x = plane.box().x(); x < plane.box().r(); ++x) {
      const DD::Image::DeepPixel pixel = plane.getPixel(y, x);
      for (size_t i = 0; i < pixel.getSampleCount(); ++i)
        sum = sum + pixel.getOrderedSample(i, DD::Image::Chan_DeepFront);
    }
  return 0;
}
