// Opening an input image file: the checks every reader makes before the image library reads it.
#pragma once

#include <OpenImageIO/imageio.h>

#include <memory>
#include <string>
#include <vector>

#include "status.h"

// The first line of an image-library message, or a plain reason when it gave none.
std::string firstLine(const std::string& message);

// Checks the path and the EXR header against `maxBytes`, opens the file on the part named `part`
// (a part's name, or its index from 0; empty: the first, with a warning when there are more) and
// leaves the library's error state clear. A part the file lacks is refused, its parts listed.
Status openInputFile(const std::string& path, double maxBytes, std::unique_ptr<OIIO::ImageInput>& in,
                     std::vector<std::string>& warnings, const std::string& part = "");
