// The host's deep types as the deep engine uses them: sample layouts, ordered access, planes
// fetched from an in-memory deep op, and output pixels read back in appended order.
#include <gtest/gtest.h>

#include <vector>

#include "DDImage/DeepPixel.h"
#include "DDImage/DeepPlane.h"
#include "DDImage/MemoryDeepOp.h"
#include "ktDeepTestScene.h"

using namespace DD::Image;

namespace {

TEST(ChannelMap, LaysChannelsOutInAscendingId) {
  const ChannelMap map(ChannelSet{Chan_DeepBack, Chan_Red, Chan_Alpha, Chan_DeepFront});
  EXPECT_EQ(map.size(), 4);
  EXPECT_EQ(map.column(Chan_Red), 0);
  EXPECT_EQ(map.column(Chan_Alpha), 1);
  EXPECT_EQ(map.column(Chan_DeepFront), 2);
  EXPECT_EQ(map.column(Chan_DeepBack), 3);
}

TEST(ChannelMap, AbsentAndOutOfRangeChannelsHaveNoColumn) {
  const ChannelMap map(Mask_RGBA);
  EXPECT_EQ(map.column(Chan_Z), -1);
  EXPECT_EQ(map.column(Chan_Black), -1);
  EXPECT_EQ(map.column(static_cast<Channel>(Chan_Last)), -1);
  EXPECT_EQ(map.column(static_cast<Channel>(-3)), -1);
}

TEST(DeepPixel, OrderedAccessRunsFarthestFirstOverStoredFarthestFirst) {
  const ChannelMap map(ChannelSet{Chan_Red, Chan_DeepFront});
  const float data[] = {0.1f, 9.0f, 0.2f, 5.0f, 0.3f, 1.0f};  // farthest first
  const DeepPixel pixel(map, data, 3);
  ASSERT_EQ(pixel.getSampleCount(), 3u);
  EXPECT_FLOAT_EQ(pixel.getOrderedSample(0, Chan_DeepFront), 9.0f);
  EXPECT_FLOAT_EQ(pixel.getOrderedSample(2, Chan_Red), 0.3f);
  EXPECT_FLOAT_EQ(pixel.getUnorderedSample(1, Chan_Red), 0.2f);
  EXPECT_FLOAT_EQ(pixel.getOrderedSample(1, Chan_Green), 0.0f);  // absent channel
}

TEST(DeepPixel, NearestFirstStorageIsIndexedInReverse) {
  const ChannelMap map(ChannelSet{Chan_DeepFront});
  const float data[] = {1.0f, 5.0f, 9.0f};  // nearest first
  const DeepPixel pixel(map, data, 3, false);
  EXPECT_FLOAT_EQ(pixel.getOrderedSample(0, Chan_DeepFront), 9.0f);
  EXPECT_FLOAT_EQ(pixel.getOrderedSample(2, Chan_DeepFront), 1.0f);
}

TEST(DeepPixel, ReadsAnOutputPixelBackInAppendedOrder) {
  const ChannelMap map(ChannelSet{Chan_Alpha, Chan_DeepFront});
  DeepOutPixel out;
  for (float v : {0.5f, 2.0f, 0.25f, 7.0f}) out.push_back(v);
  const DeepPixel pixel(map, out);
  ASSERT_EQ(pixel.getSampleCount(), 2u);
  EXPECT_FLOAT_EQ(pixel.getUnorderedSample(0, Chan_DeepFront), 2.0f);
  EXPECT_FLOAT_EQ(pixel.getUnorderedSample(1, Chan_Alpha), 0.25f);
  out.clear();
  EXPECT_EQ(out.size(), 0u);
}

TEST(DeepPlane, ServesPixelsRowByRowFromTheBottomLeft) {
  DeepPlane plane(Box(2, 5, 4, 7), ChannelSet{Chan_Red, Chan_DeepFront});
  const float a[] = {1.0f, 10.0f};
  const float b[] = {2.0f, 20.0f, 3.0f, 30.0f};
  plane.addPixel(a, 1);        // (2, 5)
  plane.addPixel(nullptr, 0);  // (3, 5)
  plane.addPixel(b, 2);        // (2, 6)
  EXPECT_FALSE(plane.complete());
  plane.addPixel(a, 1);  // (3, 6)
  EXPECT_TRUE(plane.complete());
  EXPECT_EQ(plane.getPixel(5, 2).getSampleCount(), 1u);
  EXPECT_EQ(plane.getPixel(5, 3).getSampleCount(), 0u);
  ASSERT_EQ(plane.getPixel(6, 2).getSampleCount(), 2u);
  EXPECT_FLOAT_EQ(plane.getPixel(6, 2).getOrderedSample(1, Chan_DeepFront), 30.0f);
  EXPECT_FLOAT_EQ(plane.getPixel(6, 3).getOrderedSample(0, Chan_Red), 1.0f);
}

TEST(MemoryDeepOp, StoresSamplesFarthestFirstWhateverTheirOrder) {
  deeptest::Scene scene(2, 1);
  scene.add(1, 0, deeptest::point(2.0f, 0.2f, 0, 0, 1));
  scene.add(1, 0, deeptest::point(7.0f, 0.7f, 0, 0, 1));
  scene.add(1, 0, deeptest::point(4.0f, 0.4f, 0, 0, 1));
  auto op = scene.makeDeepOp();
  EXPECT_EQ(op->sampleCount(0, 0), 0u);
  EXPECT_EQ(op->sampleCount(1, 0), 3u);

  DeepPlane plane;
  ASSERT_TRUE(op->deepEngine(Box(0, 0, 2, 1), deeptest::Scene::channels(false), plane));
  const DeepPixel pixel = plane.getPixel(0, 1);
  const float fronts[] = {7.0f, 4.0f, 2.0f};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(pixel.getOrderedSample(i, Chan_DeepFront), fronts[i]) << i;
    EXPECT_FLOAT_EQ(pixel.getOrderedSample(i, Chan_Red), fronts[i] / 10.0f) << i;
  }
}

TEST(MemoryDeepOp, DeliversTheRequestedChannelsItHasOverTheClippedBox) {
  deeptest::Scene scene(3, 2);
  scene.add(2, 1, deeptest::thick(3.0f, 4.0f, 0.1f, 0.2f, 0.3f, 0.5f));
  auto op = scene.makeDeepOp(false, Chan_Green);

  DeepPlane plane;
  ASSERT_TRUE(
      op->deepEngine(Box(1, 1, 9, 2), ChannelSet{Chan_Green, Chan_Blue, Chan_Z, Chan_DeepBack}, plane));
  EXPECT_EQ(plane.box(), Box(1, 1, 3, 2));
  EXPECT_EQ(plane.channels(), (ChannelSet{Chan_Blue, Chan_DeepBack}));
  const DeepPixel pixel = plane.getPixel(1, 2);
  ASSERT_EQ(pixel.getSampleCount(), 1u);
  EXPECT_FLOAT_EQ(pixel.getOrderedSample(0, Chan_Blue), 0.3f);
  EXPECT_FLOAT_EQ(pixel.getOrderedSample(0, Chan_DeepBack), 4.0f);
}

TEST(MemoryDeepOp, ABoxOutsideTheImageGivesAnEmptyPlane) {
  deeptest::Scene scene(2, 2);
  scene.addLayer(deeptest::point(1.0f, 1, 1, 1, 1));
  auto op = scene.makeDeepOp();
  DeepPlane plane;
  ASSERT_TRUE(op->deepEngine(Box(5, 0, 8, 1), Mask_RGBA, plane));
  EXPECT_TRUE(plane.box().empty());
}

TEST(MemoryDeepOp, AnAbortedRenderDeliversNothing) {
  deeptest::Scene scene(1, 1);
  auto op = scene.makeDeepOp();
  op->abort();
  DeepPlane plane;
  EXPECT_FALSE(op->deepEngine(Box(0, 0, 1, 1), Mask_RGBA, plane));
}

}  // namespace
