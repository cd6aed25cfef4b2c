// The static record a plug-in registers; Op::Description derives from it.
#pragma once

#include "DDImage/DDImage_API.h"

class Node;

namespace DD {
namespace Image {

class License;

class DDImage_API Description {
 public:
  const char* compiled = nullptr;
  const char* plugin = nullptr;
  License* license = nullptr;
};

}  // namespace Image
}  // namespace DD
