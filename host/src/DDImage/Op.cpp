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

}  // namespace Image
}  // namespace DD
