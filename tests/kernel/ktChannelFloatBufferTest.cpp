#include <gtest/gtest.h>

#include "ktChannelFloatBuffer.h"

using DD::Image::Chan_Alpha;
using DD::Image::Chan_Blue;
using DD::Image::Chan_Green;
using DD::Image::Chan_Last;
using DD::Image::Chan_Red;
using DD::Image::ChannelSet;

TEST(ChannelFloatBuffer, InitSizesNamedPlanesOnly) {
  ktChannelFloatBuffer b;
  b.init(ChannelSet(Chan_Red) + Chan_Alpha, 5, 5);
  EXPECT_EQ(b.width, 5);
  EXPECT_EQ(b.height, 5);
  EXPECT_EQ(b.halfWidth, 2);
  EXPECT_EQ(b.count, 25u);
  ASSERT_EQ(b.planes.size(), size_t(Chan_Last) + 1);
  EXPECT_EQ(b.planes[Chan_Red], std::vector<float>(25, 0.0f));
  EXPECT_EQ(b.planes[Chan_Alpha].size(), 25u);
  EXPECT_TRUE(b.planes[Chan_Green].empty());
  EXPECT_TRUE(b.planes[0].empty());
}

TEST(ChannelFloatBuffer, EmptyChannelSetStillHas1024Planes) {
  ktChannelFloatBuffer b;
  b.init(ChannelSet(), 4, 6);
  EXPECT_EQ(b.planes.size(), 1024u);
  EXPECT_EQ(b.count, 24u);
  EXPECT_EQ(b.halfWidth, 2);
  for (const auto& p : b.planes) EXPECT_TRUE(p.empty());
}

TEST(ChannelFloatBuffer, ShrinkingKeepsLeadingElements) {
  ktChannelFloatBuffer b;
  b.init(Chan_Blue, 5, 5);
  for (int i = 0; i < 25; ++i) b.planes[Chan_Blue][i] = float(i + 1);
  b.init(Chan_Blue, 3, 3);
  EXPECT_EQ(b.count, 9u);
  EXPECT_EQ(b.halfWidth, 1);
  const std::vector<float> expected{1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(b.planes[Chan_Blue], expected);
}

TEST(ChannelFloatBuffer, GrowingPadsWithZeros) {
  ktChannelFloatBuffer b;
  b.init(Chan_Red, 1, 1);
  b.planes[Chan_Red][0] = 7.0f;
  b.init(Chan_Red, 2, 2);
  const std::vector<float> expected{7, 0, 0, 0};
  EXPECT_EQ(b.planes[Chan_Red], expected);
}

TEST(ChannelFloatBuffer, ClearReleasesPlanesAndKeepsHalfWidthAndCount) {
  ktChannelFloatBuffer b;
  b.init(DD::Image::Mask_RGBA, 7, 7);
  b.clear();
  EXPECT_TRUE(b.planes.empty());
  EXPECT_EQ(b.width, 0);
  EXPECT_EQ(b.height, 0);
  EXPECT_EQ(b.halfWidth, 3);
  EXPECT_EQ(b.count, 49u);
}
