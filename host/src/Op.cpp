#include "DDImage/Op.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "DDImage/Knobs.h"
#include "DDImage/MetaData.h"
#include "standin/OpHost.h"

namespace DD {
namespace Image {
namespace {

// The operator registry: one record per registered class, later registrations of a name
// replacing earlier ones.
struct DescriptionRegistry {
  std::mutex mutex;
  std::vector<const Op::Description*> list;
};

DescriptionRegistry& registry() {
  static DescriptionRegistry r;
  return r;
}

std::string formatMessage(const char* format, va_list args) {
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  return buffer;
}

// Collects the knobs an operator declares into its list.
class KnobStore : public Knob_Closure {
 public:
  explicit KnobStore(std::vector<std::unique_ptr<Knob>>& store) : Knob_Closure(true), store_(store) {}
  void constructed(Knob* k) override { store_.emplace_back(k); }

 private:
  std::vector<std::unique_ptr<Knob>>& store_;
};

}  // namespace

Op::Description::Description(const char* n, OpConstructor c, License* l) : constructor_(c), name(n) {
  license = l;
  add(this);
}

Op* Op::Description::constructor(Node* node) const { return constructor_ ? constructor_(node) : nullptr; }

void Op::Description::add(DD::Image::Description* d) {
  auto* op = static_cast<Op::Description*>(d);
  if (!op || !op->name) return;
  DescriptionRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (auto& entry : r.list)
    if (std::strcmp(entry->name, op->name) == 0) {
      entry = op;
      return;
    }
  r.list.push_back(op);
}

const Op::Description* Op::Description::find(int i) {
  DescriptionRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return i >= 0 && size_t(i) < r.list.size() ? r.list[i] : nullptr;
}

const Op::Description* Op::find_description(const char* name, const Op*) {
  for (int i = 0; const Description* d = Description::find(i); ++i)
    if (name && std::strcmp(d->name, name) == 0) return d;
  return nullptr;
}

Op::Op(Node*) {}
Op::~Op() = default;

const MetaData::Bundle& Op::_fetchMetaData(const char*) {
  static const MetaData::Bundle empty;
  return empty;
}
const MetaData::Bundle& Op::fetchMetaData(const char* key) { return _fetchMetaData(key); }

void Op::knobs(Knob_Callback) {}
int Op::knob_changed(Knob*) { return 0; }

Knob* Op::knob(const char* name) const {
  if (!name || !*name) return nullptr;
  for (const auto& k : knobs_)
    if (k->name() == name) return k.get();
  return nullptr;
}

Knob* Op::knob(int i) const { return i >= 0 && size_t(i) < knobs_.size() ? knobs_[i].get() : nullptr; }

int Op::inputs() const { return static_cast<int>(inputs_.size()); }
void Op::inputs(int n) {
  inputs_.resize(n, nullptr);
  renderInputs_.resize(n, nullptr);
}
Op* Op::node_input(int n, GenerateType) const { return n >= 0 && n < inputs() ? inputs_[n] : nullptr; }

Op* Op::input(int n) const {
  Op* op = n >= 0 && n < inputs() ? renderInputs_[n] : nullptr;
  return op ? op : default_input(n);
}

Op* Op::input0() const { return input(0); }
bool Op::test_input(int n, Op* op) const { return op && n >= 0 && n < inputs(); }
Op* Op::default_input(int) const { return nullptr; }

void Op::set_input(int n, Op* op, int, int) {
  if (n >= 0 && n < inputs()) inputs_[n] = renderInputs_[n] = op;
}

const char* Op::input_label(int, char*) const { return ""; }

const OutputContext& Op::outputContext() const { return context_; }
void Op::setOutputContext(const OutputContext& c) { context_ = c; }
const OutputContext& Op::uiContext() const { return context_; }
void Op::append(Hash&) {}

// The knobs' saved values, then what the operator appends.
const Hash& Op::hash() const {
  Hash h;
  for (const auto& k : knobs_) {
    std::ostringstream script;
    k->to_script(script, nullptr, false);
    h.append(script.str());
  }
  const_cast<Op*>(this)->append(h);
  hash_ = h;
  return hash_;
}

bool Op::invalidate() {
  const bool was = validLevel_ > 0;
  validLevel_ = 0;
  opened_ = false;
  _invalidate();
  return was;
}

void Op::validate(bool for_real) {
  const int level = for_real ? 2 : 1;
  if (validLevel_ >= level) return;
  _validate(for_real);
  validLevel_ = level;
  opened_ = false;
}

bool Op::valid() const { return validLevel_ > 0; }
bool Op::real_valid() const { return validLevel_ > 1; }
bool Op::opened() const { return opened_; }

void Op::open() {
  if (opened_) return;
  _open();
  opened_ = true;
}

void Op::close() {
  if (!opened_) return;
  _close();
  opened_ = false;
}

void Op::_invalidate() {}
void Op::_validate(bool) {}
void Op::_open() {}
void Op::_close() {}

void Op::error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatMessage(format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(messageMutex_);
  errors_.push_back(std::move(text));
}

void Op::warning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatMessage(format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(messageMutex_);
  warnings_.push_back(std::move(text));
}

bool Op::hasError() const {
  std::lock_guard<std::mutex> lock(messageMutex_);
  return !errors_.empty();
}

void Op::abort() const { aborted_.store(true, std::memory_order_relaxed); }
bool Op::aborted() const { return aborted_.load(std::memory_order_relaxed); }
bool Op::cancelled() const { return aborted(); }

// The host's side.

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
