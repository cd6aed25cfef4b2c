#include "DDImage/DeepOp.h"

#include "DDImage/CameraOp.h"
#include "DDImage/Interest.h"

namespace DD {
namespace Image {

ConvertibleToIop::~ConvertibleToIop() = default;

DeepOp::DeepOp() = default;
DeepOp::~DeepOp() = default;

void DeepOp::validate(bool forReal) {
  if (Op* o = op()) o->validate(forReal);
}

void DeepOp::deepRequest(Box box, const ChannelSet& channels, int count) {
  std::vector<RequestData> requests;
  getDeepRequests(box, channels, count, requests);
  for (RequestData& r : requests) r.doRequest();
}

// An empty plane over the box when the box lies outside the operator's.
bool DeepOp::deepEngine(Box box, const ChannelSet& channels, DeepPlane& plane) {
  if (Op* o = op())
    if (o->aborted()) return false;
  DeepOutputPlane out(channels, box);
  if (!doDeepEngine(box, channels, out)) return false;
  plane = out;
  return true;
}

bool DeepOp::deepEngine(int y, int x, int r, const ChannelSet& channels, DeepPlane& plane) {
  return deepEngine(Box(x, y, r, y + 1), channels, plane);
}

const char* DeepOp::conversionHelperNodeClass() const { return "DeepToImage"; }
const Format* DeepOp::convertibleFormat() const { return _deepInfo.format(); }

Op* DeepOnlyOp::op() { return this; }
DeepOnlyOp::~DeepOnlyOp() = default;

RequestData::RequestData(Iop* op, Box box, ChannelSet channels, int count)
    : iop_(op), box_(box), channels_(channels), count_(count) {}
RequestData::RequestData(DeepOp* op, Box box, ChannelSet channels, int count)
    : deepOp_(op), box_(box), channels_(channels), count_(count) {}

void RequestData::doRequest() {
  if (iop_) iop_->request(box_, channels_, count_);
  if (deepOp_) deepOp_->deepRequest(box_, channels_, count_);
}

AxisOp::AxisOp(Node* node) : Op(node) {}
AxisOp::~AxisOp() = default;

CameraOp::CameraOp(Node* node) : AxisOp(node) {}
const char* CameraOp::Class() const { return "Camera"; }
const char* CameraOp::node_help() const { return "A camera."; }

Interest::Interest(Iop& iop, ChannelMask channels, bool, InterestRatchet*, float)
    : Box(iop.requestedBox()), channels_(channels) {}
Interest::~Interest() = default;
ChannelMask Interest::channels() const { return channels_; }
void Interest::unlock() {}

}  // namespace Image
}  // namespace DD
