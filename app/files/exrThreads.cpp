#include "files/exrThreads.h"

#include <OpenEXR/ImfThreading.h>

#include "DDImage/Thread.h"

void setExrThreads(unsigned threads) {
  Imf::setGlobalThreadCount(int(threads ? threads : DD::Image::Thread::numCPUs));
}
