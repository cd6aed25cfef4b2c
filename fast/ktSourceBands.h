// The fast engine's source maps in bands of rows, made when a row first needs them by the thread
// that renders it (each row also maps the next band its way, ahead of need), and dropped, least
// recently used first, once more bands are held than the rows being rendered reach. Rows asked
// for in order map every band once, and only the bands around those rows are held at a time;
// any other order stays correct, at the cost of mapping a band again. Safe to use from many
// threads at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "DDImage/Box.h"
#include "ktKernelRows.h"
#include "ktSourceMap.h"

class ktSourceBands {
 public:
  static constexpr int kBandRows = 16;

  // Fills a band the bands have laid out (its rows are firstRow() .. lastRow()); false when the
  // input cannot deliver a row.
  using Builder = std::function<bool(ktSourceMap& band)>;

  // Covers the rows of `outputBox` widened by the padding, clamped to clampLo .. clampHi; the
  // rows of `threads` workers at once are expected. Holds nothing until rows ask for bands.
  void setup(const ktRenderContext& ctx, const DD::Image::Box& outputBox,
             const DD::Image::ChannelSet& channels, int clampLo, int clampHi, unsigned threads,
             Builder builder);
  // Releases every band; rows are no longer covered.
  void clear();
  bool empty() const { return bands_.empty(); }

  // Whether row y over x .. r-1 reads only mapped positions, with depths (or fallback values) at
  // the same columns.
  bool covers(int y, int x, int r, int padding) const;
  const ktKernelRows& kernelRows() const { return kernelRows_; }
  int clampRow(int sy) const {
    return sy < area_.clampLo ? area_.clampLo : (sy > area_.clampHi ? area_.clampHi : sy);
  }

  // How many bands were mapped since setup.
  size_t mapped() const;

  // The bands of the source rows of output row y, held for the window's lifetime.
  class Window {
   public:
    Window(ktSourceBands& bands, int y);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    // False when a band could not be mapped: the row is left to the reference engine.
    bool ok() const { return ok_; }
    // The band holding clamped source row cy. A held band keeps its slot, which no other row
    // writes while it is held.
    const ktSourceMap& band(int cy) const { return bands_.bands_[size_t(bands_.bandOf(cy))].slot->map; }

   private:
    ktSourceBands& bands_;
    int first_ = 0, last_ = -1;  // band indices held
    bool ok_ = true;
  };

 private:
  enum class State { Unmapped, Mapping, Mapped, Failed };
  struct Slot {
    ktSourceMap map;
    int band = -1;
    int holders = 0;
    uint64_t lastUse = 0;
  };
  struct Band {
    State state = State::Unmapped;
    Slot* slot = nullptr;
  };

  int bandOf(int cy) const { return (cy - area_.firstRow) / kBandRows; }
  const ktSourceMap* hold(int band);
  const ktSourceMap* mapHeld(int band, Slot* slot, std::unique_lock<std::mutex>& lock);
  void mapAhead(int y, int first, int last);
  void release(int band);
  Slot* freeSlot(bool beyondCapacity);
  bool map(int band, ktSourceMap& into);

  std::unique_ptr<const ktRenderContext> ctx_;  // copied at setup: formats are never assigned
  ktKernelRows kernelRows_;
  ktSourceMap::Area area_{};
  DD::Image::ChannelSet channels_;
  int padding_ = 0;
  int formatWidth_ = 0;
  size_t capacity_ = 0;
  Builder builder_;

  mutable std::mutex mutex_;
  std::condition_variable mappedSignal_;
  std::vector<Band> bands_;
  std::vector<std::unique_ptr<Slot>> slots_;
  uint64_t clock_ = 0;
  size_t mappedCount_ = 0;
  int lastAsked_ = 0;  // the row of the latest window
};
