#include "render/engineChoice.h"

#include "render/pluginLoader.h"

Status chooseEngine(DD::Image::Op& node, bool reference) {
  using UseReference = void (*)(DD::Image::Op*, int);
  const auto use = reinterpret_cast<UseReference>(pluginSymbol("ktOrvelUseReferenceEngine"));
  if (!use) {
    if (!reference) return Status::success();
    return Status::usage("the node plug-in has no reference engine (ktOrvelUseReferenceEngine)");
  }
  use(&node, reference ? 1 : 0);
  return Status::success();
}
