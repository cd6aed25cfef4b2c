// Operators: registry, inputs, validation levels, messages, threads and the render driver.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "DDImage/CameraOp.h"
#include "DDImage/MemoryIop.h"
#include "DDImage/RenderDriver.h"
#include "DDImage/Thread.h"

using namespace DD::Image;

namespace {

// Doubles its input; counts validations; reports an error when asked to.
class Doubler : public Iop {
 public:
  Doubler() : Iop(nullptr) { inputs(1); }
  const char* Class() const override { return "Doubler"; }
  void engine(int y, int x, int r, const ChannelSet& channels, Row& row) override {
    Row in(x, r);
    in.get(*input(0), y, x, r, channels);
    for (Channel z : channels)
      for (int i = x; i < r; ++i) row.writable(z)[i] = 2.0f * in[z][i];
  }
  int validations = 0;
  bool fail = false;

 protected:
  void _validate(bool for_real) override {
    ++validations;
    Iop::_validate(for_real);
    if (fail) error("Failed with %d", 42);
    warning("careful");
  }
};

Op* buildDoubler(Node*) { return new Doubler; }
const Op::Description doublerDescription("TestDoubler", buildDoubler, "test stamp");

TEST(Registry, CreatesByName) {
  auto op = Op::create("TestDoubler");
  ASSERT_NE(op, nullptr);
  EXPECT_STREQ(op->Class(), "Doubler");
  EXPECT_EQ(Op::Description::find("TestDoubler")->buildStamp, std::string("test stamp"));
  EXPECT_EQ(Op::create("NoSuchOp"), nullptr);
}

TEST(Inputs, DefaultInputIsBlackOnTheContextFormat) {
  Doubler d;
  OutputContext c;
  c.format(Format(32, 16));
  d.setOutputContext(c);
  EXPECT_EQ(d.node_input(0), nullptr);
  Iop* in = d.input(0);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->format().width(), 32);
  EXPECT_EQ(in->format().height(), 16);
}

TEST(Inputs, ConnectRefusesTheWrongKind) {
  Doubler d;
  CameraOp camera;
  EXPECT_FALSE(d.connect(0, &camera));
  EXPECT_EQ(d.node_input(0), nullptr);
  MemoryIop img(Format(4, 4), Box(0, 0, 4, 4), Mask_RGB);
  EXPECT_TRUE(d.connect(0, &img));
  EXPECT_EQ(d.node_input(0), &img);
  EXPECT_FALSE(d.connect(3, &img));
}

TEST(Validate, RunsOncePerLevelUntilInvalidated) {
  Doubler d;
  d.validate(false);
  d.validate(false);
  EXPECT_EQ(d.validations, 1);
  d.validate(true);
  d.validate(false);
  EXPECT_EQ(d.validations, 2);
  EXPECT_TRUE(d.real_valid());
  d.invalidate();
  d.validate(true);
  EXPECT_EQ(d.validations, 3);
}

TEST(Threads, EveryIndexRunsOnceAndWaitJoinsAll) {
  struct Job {
    std::atomic<int> runs{0};
    std::atomic<unsigned> mask{0};
  } job;
  auto body = [](unsigned index, unsigned count, void* user) {
    auto* j = static_cast<Job*>(user);
    EXPECT_EQ(count, 5u);
    j->mask |= 1u << index;
    ++j->runs;
  };
  Thread::spawn(body, 5, &job);
  Thread::wait(&job);
  EXPECT_EQ(job.runs.load(), 5);
  EXPECT_EQ(job.mask.load(), 0x1fu);
  Thread::wait(&job);  // nothing left to wait for
}

TEST(RenderDriver, RendersEveryRowOfTheBox) {
  MemoryIop img(Format(8, 6), Box(1, 1, 7, 5), Mask_RGB);
  for (int y = 1; y < 5; ++y)
    for (int x = 1; x < 7; ++x) img.set(x, y, Chan_Green, float(10 * y + x));
  Doubler d;
  d.connect(0, &img);
  RenderOptions options;
  options.threads = 3;
  std::set<int> progress;
  options.progress = [&](int done, int total) {
    EXPECT_EQ(total, 4);
    progress.insert(done);
  };
  RenderReport report = renderFrame(d, options);
  ASSERT_NE(report.image, nullptr);
  EXPECT_EQ(progress, (std::set<int>{1, 2, 3, 4}));
  EXPECT_EQ(report.warnings, std::vector<std::string>{"careful"});
  for (int y = 1; y < 5; ++y)
    for (int x = 1; x < 7; ++x) EXPECT_EQ(report.image->at(x, y, Chan_Green), 2.0f * (10 * y + x));
}

TEST(RenderDriver, AnErrorStopsTheRender) {
  Doubler d;
  d.fail = true;
  RenderReport report = renderFrame(d);
  EXPECT_EQ(report.errors, std::vector<std::string>{"Failed with 42"});
  EXPECT_EQ(report.image, nullptr);
}

TEST(RenderDriver, AnAbortLeavesNoImage) {
  MemoryIop img(Format(8, 6), Box(0, 0, 8, 6), Mask_RGB);
  Doubler d;
  d.connect(0, &img);
  d.abort();
  RenderReport report = renderFrame(d);
  EXPECT_TRUE(report.aborted);
  EXPECT_EQ(report.image, nullptr);
}

}  // namespace
