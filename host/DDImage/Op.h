// The host's operator base: inputs, validation, requests, open, knobs, messages, registry.
// Node is a global-scope class; the host never hands the stand-in's operators one.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DDImage/Channel.h"
#include "DDImage/Description.h"
#include "DDImage/Hash.h"
#include "DDImage/OutputContext.h"

class Node;

namespace DD {
namespace Image {

namespace MetaData {
class Bundle;
}

class Knob;
class Knob_Closure;
typedef Knob_Closure& Knob_Callback;
class License;

class DDImage_API Op {
 public:
  enum GenerateType { OUTPUT_OP = 0, ANY_CONTEXT, INPUT_OP, INPUT_OP_PEEK };

  // Registration record; make one static instance per operator class.
  class DDImage_API Description : public DD::Image::Description {
   protected:
    static void add(DD::Image::Description*);
    typedef Op* (*OpConstructor)(Node*);
    OpConstructor constructor_;

   public:
    const char* name;
    Op* constructor(Node* node) const;
    Description(const char* n, OpConstructor c, License* l = nullptr);
    // The i-th registered description, or null past the last.
    static const Description* find(int i);
  };

  virtual ~Op();

  virtual const MetaData::Bundle& _fetchMetaData(const char* keyname);
  const MetaData::Bundle& fetchMetaData(const char* keyname);

  virtual const char* Class() const = 0;
  virtual const char* node_help() const = 0;

  // Knobs.
  virtual void knobs(Knob_Callback);
  Knob* knob(const char* name) const;
  Knob* knob(int) const;
  virtual int knob_changed(Knob*);

  // Inputs.
  int inputs() const;
  virtual void inputs(int n);
  // The operator connected to input n, for inspection; null when nothing is connected.
  Op* node_input(int, GenerateType = OUTPUT_OP) const;
  // The operator to validate, request and read: the connected one, else the default input.
  Op* input(int) const;
  Op* input0() const;
  virtual bool test_input(int, Op*) const;
  virtual void set_input(int i, Op* op, int input, int offset);
  virtual Op* default_input(int) const;
  virtual const char* input_label(int, char*) const;

  // Context and hash.
  const OutputContext& outputContext() const;
  virtual void setOutputContext(const OutputContext& c);
  const OutputContext& uiContext() const;
  virtual void append(Hash&);
  const Hash& hash() const;

  // Lifecycle: _validate runs once per level until invalidated; open() runs _open once per
  // validation.
  bool invalidate();
  void validate(bool for_real = true);
  bool valid() const;
  bool real_valid() const;
  bool opened() const;
  void open();
  void close();

  // Messages; work goes on after either.
  void error(const char* fmt, ...);
  void warning(const char* fmt, ...);
  bool hasError() const;

  // Abort: the host sets it, the operator polls it.
  void abort() const;
  bool aborted() const;
  bool cancelled() const;

  static const Description* find_description(const char* name, const Op* op_);

 protected:
  Op(Node* node);
  virtual void _invalidate();
  virtual void _validate(bool for_real);
  virtual void _open();
  virtual void _close();

 private:
  Op(const Op&);
  Op& operator=(const Op&);
  friend class OpHost;

  std::vector<Op*> inputs_;        // as connected in the node graph
  std::vector<Op*> renderInputs_;  // as built for this render
  std::vector<std::unique_ptr<Knob>> knobs_;
  mutable std::mutex messageMutex_;
  std::vector<std::string> errors_, warnings_;
  mutable std::atomic<bool> aborted_{false};
  OutputContext context_;
  mutable Hash hash_;
  int validLevel_ = 0;
  bool opened_ = false;
};

}  // namespace Image
}  // namespace DD
