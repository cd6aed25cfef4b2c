#include "DDImage/Op.h"

#include <cstdarg>
#include <cstdio>
#include <map>

namespace DD {
namespace Image {
namespace {

struct DescriptionRegistry {
  std::mutex mutex;
  std::map<std::string, const Op::Description*> byName;
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

Op::Description::Description(const char* n, Constructor c, const char* stamp)
    : name(n), constructor(c), buildStamp(stamp) {
  add(this);
}

void Op::Description::add(const Description* d) {
  if (!d || !d->name) return;
  DescriptionRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.byName[d->name] = d;
}

const Op::Description* Op::Description::find(const std::string& name) {
  DescriptionRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.byName.find(name);
  return it == r.byName.end() ? nullptr : it->second;
}

std::vector<std::string> Op::Description::names() {
  DescriptionRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::vector<std::string> out;
  for (const auto& kv : r.byName) out.push_back(kv.first);
  return out;
}

Op::Op(Node*) {}
Op::~Op() = default;

std::unique_ptr<Op> Op::create(const std::string& name) {
  const Description* d = Description::find(name);
  if (!d || !d->constructor) return nullptr;
  std::unique_ptr<Op> op(d->constructor(nullptr));
  if (op) op->build_knobs();
  return op;
}

Op* Op::input(int n) const {
  Op* op = node_input(n);
  return op ? op : default_input(n);
}

bool Op::test_input(int n, Op* op) const { return op && n >= 0 && n < inputs(); }
Op* Op::default_input(int) const { return nullptr; }

void Op::set_input(int n, Op* op, int, int) {
  if (n >= 0 && n < inputs()) inputs_[n] = op;
}

const char* Op::input_label(int, char*) const { return ""; }

bool Op::connect(int n, Op* op) {
  if (n < 0 || n >= inputs()) return false;
  if (op && !test_input(n, op)) return false;
  set_input(n, op, 0, 0);
  invalidate();
  return true;
}

void Op::validate(bool for_real) {
  const int level = for_real ? 2 : 1;
  if (validLevel_ >= level) return;
  _validate(for_real);
  validLevel_ = level;
  opened_ = false;
}

void Op::invalidate() {
  validLevel_ = 0;
  opened_ = false;
}

void Op::open() {
  if (opened_) return;
  _open();
  opened_ = true;
}

void Op::build_knobs() {
  knobs_.clear();
  Knob_Closure f(knobs_);
  knobs(f);
}

int Op::knob_changed(Knob*) { return 0; }

Knob* Op::knob(const std::string& name) const {
  for (const auto& k : knobs_)
    if (k->name() == name && !name.empty()) return k.get();
  return nullptr;
}

Hash Op::hash() {
  Hash h;
  for (const auto& k : knobs_)
    for (char c : k->to_script()) h.append(c);
  append(h);
  return h;
}

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

std::vector<std::string> Op::errors() const {
  std::lock_guard<std::mutex> lock(messageMutex_);
  return errors_;
}

std::vector<std::string> Op::warnings() const {
  std::lock_guard<std::mutex> lock(messageMutex_);
  return warnings_;
}

void Op::clearMessages() {
  std::lock_guard<std::mutex> lock(messageMutex_);
  errors_.clear();
  warnings_.clear();
}

}  // namespace Image
}  // namespace DD
