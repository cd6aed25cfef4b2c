#include "standin/OpHost.h"

#include "DDImage/DeepInfo.h"
#include "DDImage/Iop.h"
#include "DDImage/Knobs.h"
#include "standin/KnobRecord.h"

namespace DD {
namespace Image {
namespace {

// Collects the knobs an operator declares into its list.
class KnobStore : public Knob_Closure {
 public:
  explicit KnobStore(std::vector<std::unique_ptr<Knob>>& store) : Knob_Closure(true), store_(store) {}
  void constructed(Knob* k) override { store_.emplace_back(k); }

 private:
  std::vector<std::unique_ptr<Knob>>& store_;
};

}  // namespace

std::unique_ptr<Op> OpHost::create(const std::string& name) {
  const Op::Description* d = Op::find_description(name.c_str(), nullptr);
  std::unique_ptr<Op> op(d ? d->constructor(nullptr) : nullptr);
  if (op) buildKnobs(*op);
  return op;
}

std::vector<std::string> OpHost::registeredNames() {
  std::vector<std::string> out;
  for (int i = 0; const Op::Description* d = Op::Description::find(i); ++i) out.push_back(d->name);
  return out;
}

void OpHost::buildKnobs(Op& op) {
  op.knobs_.clear();
  KnobStore store(op.knobs_);
  op.knobs(store);
}

std::vector<standin::KnobRecord*> OpHost::knobs(const Op& op) {
  std::vector<standin::KnobRecord*> out;
  for (const auto& k : op.knobs_)
    if (auto* r = standin::record(k.get())) out.push_back(r);
  return out;
}

bool OpHost::connect(Op& op, int n, Op* input) {
  if (n < 0 || n >= op.inputs()) return false;
  if (input && !op.test_input(n, input)) return false;
  op.set_input(n, input, 0, 0);
  op.invalidate();
  return true;
}

std::vector<std::string> OpHost::errors(const Op& op) {
  std::lock_guard<std::mutex> lock(op.messageMutex_);
  return op.errors_;
}

std::vector<std::string> OpHost::warnings(const Op& op) {
  std::lock_guard<std::mutex> lock(op.messageMutex_);
  return op.warnings_;
}

void OpHost::clearMessages(Op& op) {
  std::lock_guard<std::mutex> lock(op.messageMutex_);
  op.errors_.clear();
  op.warnings_.clear();
}

void OpHost::cancelAbort(Op& op) { op.aborted_.store(false, std::memory_order_relaxed); }

void OpHost::setRenderInput(Op& op, int n, Op* input) {
  if (n >= 0 && n < op.inputs()) op.renderInputs_[n] = input;
  op.invalidate();
}

void OpHost::setProjectFormat(Iop& op, const Format& format) { op.projectFormat_ = format; }

void OpHost::setDeepChannels(DeepInfo& info, const ChannelSet& channels) { info.channels_ = channels; }

}  // namespace Image
}  // namespace DD
