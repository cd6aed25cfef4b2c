// The host's operator base: inputs, validation, requests, open, knobs, messages, registry.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DDImage/Hash.h"
#include "DDImage/Knobs.h"
#include "DDImage/OutputContext.h"

namespace DD {
namespace Image {

class Node;
class Op;

class Op {
 public:
  // The static registration record of an operator class.
  class Description {
   public:
    using Constructor = Op* (*)(Node*);
    Description(const char* name, Constructor constructor, const char* buildStamp = "");
    const char* name;
    Constructor constructor;
    const char* buildStamp;

    // Registers `d` under its name; a later registration of the same name replaces it.
    static void add(const Description* d);
    static const Description* find(const std::string& name);
    static std::vector<std::string> names();
  };

  explicit Op(Node* node);
  virtual ~Op();
  Op(const Op&) = delete;
  Op& operator=(const Op&) = delete;

  // Creates an operator by registered name and declares its knobs; null if unknown.
  static std::unique_ptr<Op> create(const std::string& name);

  virtual const char* Class() const = 0;
  virtual const char* node_help() const { return ""; }

  // Inputs.
  int inputs() const { return static_cast<int>(inputs_.size()); }
  void inputs(int n) { inputs_.resize(n, nullptr); }
  Op* node_input(int n, int = 0) const { return n >= 0 && n < inputs() ? inputs_[n] : nullptr; }
  Op* input(int n) const;
  virtual bool test_input(int n, Op* op) const;
  virtual Op* default_input(int n) const;
  virtual void set_input(int n, Op* op, int input, int offset);
  virtual const char* input_label(int n, char* buffer) const;
  // How the host connects an input: refused (false) when test_input says no.
  bool connect(int n, Op* op);

  // Lifecycle, driven by the host: validate, request, open.
  void validate(bool for_real = true);
  void invalidate();
  bool valid() const { return validLevel_ > 0; }
  bool real_valid() const { return validLevel_ > 1; }
  void open();

  // Knobs.
  void build_knobs();
  virtual void knobs(Knob_Callback) {}
  virtual int knob_changed(Knob* k);
  Knob* knob(const std::string& name) const;
  const std::vector<std::unique_ptr<Knob>>& allKnobs() const { return knobs_; }
  virtual void append(Hash&) {}
  Hash hash();

  // Messages; work goes on after either.
  void error(const char* format, ...);
  void warning(const char* format, ...);
  std::vector<std::string> errors() const;
  std::vector<std::string> warnings() const;
  void clearMessages();

  // Abort: the host sets it, the operator polls it.
  bool aborted() const { return aborted_.load(std::memory_order_relaxed); }
  void abort() { aborted_.store(true, std::memory_order_relaxed); }
  void cancelAbort() { aborted_.store(false, std::memory_order_relaxed); }

  const OutputContext& uiContext() const { return context_; }
  const OutputContext& outputContext() const { return context_; }
  void setOutputContext(const OutputContext& c) { context_ = c; }

 protected:
  virtual void _validate(bool) {}
  virtual void _open() {}
  // A new request changes what open prepares, so the next open runs again.
  void needsOpen() { opened_ = false; }

 private:
  std::vector<Op*> inputs_;
  std::vector<std::unique_ptr<Knob>> knobs_;
  mutable std::mutex messageMutex_;
  std::vector<std::string> errors_, warnings_;
  std::atomic<bool> aborted_{false};
  OutputContext context_;
  int validLevel_ = 0;
  bool opened_ = false;
};

}  // namespace Image
}  // namespace DD
