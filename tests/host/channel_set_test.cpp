// Channel sets and channel names.
#include <gtest/gtest.h>

#include <vector>

#include "DDImage/ChannelSet.h"

using namespace DD::Image;

namespace {

std::vector<int> ids(const ChannelSet& s) {
  std::vector<int> out;
  for (Channel z : s) out.push_back(z);
  return out;
}

TEST(ChannelSet, IteratesInAscendingIdWhateverTheInsertionOrder) {
  ChannelSet s{Chan_DeepBack, Chan_Alpha, Chan_Red, Chan_Z};
  EXPECT_EQ(ids(s), (std::vector<int>{1, 4, 5, 17}));
  EXPECT_EQ(s.size(), 4u);
}

TEST(ChannelSet, AddRemoveIntersect) {
  ChannelSet s = Mask_RGBA;
  s -= Chan_Green;
  s += Chan_Z;
  EXPECT_EQ(ids(s), (std::vector<int>{1, 3, 4, 5}));
  EXPECT_EQ(ids(s & Mask_RGB), (std::vector<int>{1, 3}));
  EXPECT_TRUE(s.contains(Chan_Z));
  EXPECT_FALSE(s.contains(Chan_Green));
  EXPECT_FALSE(s.contains(Chan_Black));
}

TEST(ChannelSet, IdsOutsideTheTableAreIgnored) {
  ChannelSet s;
  s += static_cast<Channel>(1024);
  s += static_cast<Channel>(-3);
  s += Chan_Black;
  EXPECT_TRUE(s.empty());
  EXPECT_FALSE(s.contains(static_cast<Channel>(5000)));
}

TEST(ChannelSet, AllChannelsState) {
  const ChannelSet all = ChannelSet::allChannels();
  EXPECT_TRUE(all.all());
  EXPECT_TRUE(all.contains(static_cast<Channel>(1023)));
  EXPECT_EQ(all.size(), 1023u);
  ChannelSet narrowed = all;
  narrowed -= Chan_Z;
  EXPECT_FALSE(narrowed.all());
  EXPECT_FALSE(Mask_RGBA.all());
}

TEST(ChannelNames, StandardNamesBothWays) {
  EXPECT_EQ(findChannel("depth.Z"), Chan_Z);
  EXPECT_EQ(findChannel("Z"), Chan_Z);
  EXPECT_EQ(findChannel("rgba.alpha"), Chan_Alpha);
  EXPECT_EQ(findChannel("A"), Chan_Alpha);
  EXPECT_EQ(findChannel("none"), Chan_Black);
  EXPECT_EQ(getName(Chan_Red), "rgba.red");
  EXPECT_EQ(getName(Chan_DeepBack), "deep.back");
}

TEST(ChannelNames, OtherChannelsGetTheirOwnIdsAndKeepTheirNames) {
  EXPECT_EQ(findChannel("test.unknownName"), Chan_Black);
  const Channel a = findChannel("test.motion.u", true);
  const Channel b = findChannel("test.motion.v", true);
  EXPECT_NE(a, Chan_Black);
  EXPECT_NE(a, b);
  for (Channel z : {a, b}) {
    EXPECT_GT(z, Chan_Z);
    EXPECT_NE(z, Chan_DeepFront);
    EXPECT_NE(z, Chan_DeepBack);
  }
  EXPECT_EQ(findChannel("test.motion.u", true), a);
  EXPECT_EQ(getName(b), "test.motion.v");
}

}  // namespace
