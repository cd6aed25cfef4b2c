#include "files/exrOutputHeader.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfStandardAttributes.h>

namespace {

const char* const kRewrittenAttributes[] = {"dataWindow", "displayWindow", "channels", "compression",
                                            "lineOrder",  "capDate",       nullptr};
const char* const kDroppedAttributes[] = {
    "tiles", "type", "name", "version", "chunkCount", "maxSamplesPerPixel", "preview", "openexr:chunkCount",
    nullptr};

}  // namespace

Imf::Header outputHeader(const Imf::Header* source, const Imath::Box2i& display, const Imath::Box2i& data,
                         Imf::Compression compression, const std::string& captureDate) {
  Imf::Header header(display, data, 1.0f, Imath::V2f(0, 0), 1.0f, Imf::INCREASING_Y, compression);
  if (source) {
    for (auto a = source->begin(); a != source->end(); ++a) {
      const std::string name = a.name();
      bool kept = true;
      for (const char* const* list : {kRewrittenAttributes, kDroppedAttributes})
        for (const char* const* n = list; *n; ++n) kept = kept && name != *n;
      if (kept) header.insert(name, a.attribute());
    }
  }
  Imf::addCapDate(header, captureDate);
  return header;
}

Imf::PixelType outputPixelType(const Imf::Header* source, const std::string& name, PixelChoice choice,
                               bool depth) {
  if (choice == PixelChoice::Float || (choice == PixelChoice::Half && depth)) return Imf::FLOAT;
  if (choice == PixelChoice::Half) return Imf::HALF;
  const Imf::Channel* own = source ? source->channels().findChannel(name) : nullptr;
  return own ? own->type : Imf::FLOAT;
}
