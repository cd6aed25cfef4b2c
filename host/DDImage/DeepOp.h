// A deep operator is an interface, not an Op: reach its operator through op(). deepEngine()
// fills a DeepPlane for a box and channels; deepRequest() asks for them first. DeepOnlyOp is
// the Op + DeepOp base that deep operators derive from.
#pragma once

#include <vector>

#include "DDImage/Box.h"
#include "DDImage/ConvertibleToIop.h"
#include "DDImage/DeepInfo.h"
#include "DDImage/DeepPlane.h"
#include "DDImage/Iop.h"
#include "DDImage/Op.h"
#include "DDImage/RequestData.h"

namespace DD {
namespace Image {

class DDImage_API DeepOp : public ConvertibleToIop {
 protected:
  DeepInfo _deepInfo;
  virtual bool doDeepEngine(DD::Image::Box box, const DD::Image::ChannelSet& channels,
                            DeepOutputPlane& plane) = 0;
  virtual void getDeepRequests(DD::Image::Box box, const DD::Image::ChannelSet& channels, int count,
                               std::vector<RequestData>& reqData) = 0;
  virtual void _validate(bool forReal) = 0;

 public:
  DeepOp();
  virtual ~DeepOp();
  virtual Op* op() = 0;
  const DeepInfo& deepInfo() const { return _deepInfo; }
  void validate(bool forReal);
  void deepRequest(DD::Image::Box box, const DD::Image::ChannelSet& channels, int count = 1);
  // False when processing was abandoned (abort).
  bool deepEngine(DD::Image::Box box, const DD::Image::ChannelSet& channels, DeepPlane& plane);
  bool deepEngine(int y, int x, int r, const DD::Image::ChannelSet& channels, DeepPlane& plane);
  const char* conversionHelperNodeClass() const override;
  const Format* convertibleFormat() const override;

 private:
  DeepOp(const DeepOp& other);
  void operator=(const DeepOp& other);
};

class DDImage_API DeepOnlyOp : public Op, public DeepOp {
 public:
  DeepOnlyOp(Node* node) : Op(node) {}
  Op* op() override;
  virtual ~DeepOnlyOp();
};

}  // namespace Image
}  // namespace DD
