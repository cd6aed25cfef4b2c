#include "standin/RenderDriver.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "DDImage/Thread.h"
#include "standin/OpHost.h"

using namespace DD::Image;

namespace standin {
namespace {

// Asks for the box in `strips` horizontal strips, each a request of its own.
void requestBox(Iop& op, const Box& box, ChannelMask channels, int strips) {
  strips = std::max(1, std::min(strips, std::max(1, box.h())));
  for (int i = 0; i < strips; ++i) {
    const int y = box.y() + int(int64_t(box.h()) * i / strips);
    const int t = box.y() + int(int64_t(box.h()) * (i + 1) / strips);
    op.request(box.x(), y, box.r(), t, channels, 1);
  }
}

}  // namespace

RenderReport renderFrame(Iop& op, const RenderOptions& options) {
  RenderReport report;
  OpHost::clearMessages(op);
  op.invalidate();
  op.validate(true);
  const Box box = op.info().box();
  const ChannelSet channels = options.allChannels ? op.channels() : options.channels;
  if (!op.hasError()) {
    requestBox(op, box, channels, options.requestStrips);
    op.open();
  }
  report.errors = OpHost::errors(op);
  if (!report.errors.empty()) {
    report.warnings = OpHost::warnings(op);
    return report;
  }

  auto image = std::make_unique<MemoryIop>(op.format(), box, channels);
  const int rows = box.w() <= 0 ? 0 : std::max(0, box.h());
  std::atomic<int> next{0};
  std::atomic<int> done{0};
  std::mutex progressMutex;
  auto worker = [&]() {
    Row row(box.x(), box.r());
    for (int i = next++; i < rows; i = next++) {
      if (op.aborted()) return;
      const int y = box.y() + i;
      op.get(y, box.x(), box.r(), channels, row);
      for (Channel z : channels) {
        const float* src = row[z];
        std::copy(src + box.x(), src + box.r(), image->plane(z) + size_t(i) * box.w());
      }
      const int finished = ++done;
      if (options.progress) {
        std::lock_guard<std::mutex> lock(progressMutex);
        options.progress(finished, rows);
      }
    }
  };
  const unsigned threads =
      std::max(1u, std::min<unsigned>(options.threads ? options.threads : Thread::numCPUs,
                                      static_cast<unsigned>(std::max(rows, 1))));
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (auto& t : pool) t.join();

  report.warnings = OpHost::warnings(op);
  report.aborted = op.aborted();
  if (!report.aborted) report.image = std::move(image);
  return report;
}

}  // namespace standin
