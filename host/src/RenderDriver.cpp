#include "DDImage/RenderDriver.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "DDImage/Thread.h"

namespace DD {
namespace Image {

RenderReport renderFrame(Iop& op, const RenderOptions& options) {
  RenderReport report;
  op.clearMessages();
  op.invalidate();
  op.validate(true);
  const Box box = op.info().box();
  const ChannelSet channels = options.allChannels ? op.channels() : options.channels;
  if (op.errors().empty()) {
    op.request(box.x(), box.y(), box.r(), box.t(), channels, 1);
    op.open();
  }
  report.errors = op.errors();
  if (!report.errors.empty()) {
    report.warnings = op.warnings();
    return report;
  }

  auto image = std::make_unique<MemoryIop>(op.format(), box, channels);
  const int rows = box.empty() ? 0 : box.h();
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
  const unsigned threads = std::max(1u, std::min<unsigned>(options.threads ? options.threads : Thread::numCPUs,
                                                           static_cast<unsigned>(std::max(rows, 1))));
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (auto& t : pool) t.join();

  report.warnings = op.warnings();
  report.aborted = op.aborted();
  if (!report.aborted) report.image = std::move(image);
  return report;
}

}  // namespace Image
}  // namespace DD
