// The host's side of an operator, which the node never sees: making operators by registered
// name with their knobs, connecting inputs as the node graph does, the messages an operator
// reported, and the settings a host keeps for its operators.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DDImage/DeepInfo.h"
#include "DDImage/Iop.h"
#include "standin/KnobRecord.h"

namespace DD {
namespace Image {

class OpHost {
 public:
  // Makes the operator registered under `name` and declares its knobs; null if unknown.
  static std::unique_ptr<Op> create(const std::string& name);
  static std::vector<std::string> registeredNames();
  static void buildKnobs(Op& op);
  // The operator's knobs in declaration order.
  static std::vector<standin::KnobRecord*> knobs(const Op& op);

  // Connects input n as the node graph does: refused (false) when test_input says no;
  // invalidates the operator.
  static bool connect(Op& op, int n, Op* input);

  // The host builds the operators of a render apart from the ones the node graph shows:
  // input(n) then hands out `input` while node_input(n) still shows what is connected.
  static void setRenderInput(Op& op, int n, Op* input);

  static std::vector<std::string> errors(const Op& op);
  static std::vector<std::string> warnings(const Op& op);
  static void clearMessages(Op& op);
  static void cancelAbort(Op& op);

  // The project format, which the default input of an image operator covers.
  static void setProjectFormat(Iop& op, const Format& format);
  static void setDeepChannels(DeepInfo& info, const ChannelSet& channels);
};

}  // namespace Image
}  // namespace DD
