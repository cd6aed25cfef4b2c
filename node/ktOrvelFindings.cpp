// The C entry point through which a host reads what a ktOrvel node found.
#include "ktOrvelFindings.h"

#include "ktOrvel.h"

extern "C" __attribute__((visibility("default"))) int ktOrvelReadFindings(const DD::Image::Op* op,
                                                                          ktOrvelFindings* findings) {
  const auto* node = dynamic_cast<const ktOrvel*>(op);
  if (!node || !findings) return 0;
  *findings = node->findings();
  return 1;
}
