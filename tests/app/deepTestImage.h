// Deep EXR files for end-to-end tests, written with OpenImageIO's deep support.
#pragma once

#include <functional>
#include <string>
#include <vector>

// A deep image as a file holds it: per pixel (rows top-down) its samples, channels interleaved.
struct DeepTestImage {
  int width = 0, height = 0;
  std::vector<std::string> channels;
  std::vector<std::vector<float>> pixels;
  int tileSize = 0;  // 0: scanlines; else square tiles of this size
};

// A deep image of `width` x `height` whose pixel (x, file row) gets the samples `samples` adds.
DeepTestImage makeDeepImage(int width, int height, const std::vector<std::string>& channels,
                            const std::function<void(int, int, std::vector<float>&)>& samples);

void writeDeepImage(const std::string& path, const DeepTestImage& image);
