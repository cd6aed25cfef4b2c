#include "ktSourceBands.h"

#include <algorithm>

using namespace DD::Image;

void ktSourceBands::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  bands_.clear();
  slots_.clear();
  kernelRows_.clear();
  builder_ = nullptr;
  capacity_ = 0;
  clock_ = 0;
  mappedCount_ = 0;
  lastAsked_ = 0;
}

void ktSourceBands::setup(const ktRenderContext& ctx, const Box& outputBox, const ChannelSet& channels,
                          int clampLo, int clampHi, unsigned threads, Builder builder) {
  clear();
  if (outputBox.w() <= 0 || outputBox.h() <= 0 || !ktSourceMap::canMap(ctx, channels)) return;
  ctx_ = std::make_unique<const ktRenderContext>(ctx);
  channels_ = channels;
  padding_ = std::max(0, ctx.padding);
  formatWidth_ = ctx.format.r() - ctx.format.x();
  kernelRows_.describe(ctx, channels);
  area_.x0 = outputBox.x() - padding_;
  area_.x1 = outputBox.r() + padding_;
  area_.clampLo = clampLo;
  area_.clampHi = std::max(clampLo, clampHi);
  area_.firstRow = clampRow(outputBox.y() - padding_);
  area_.lastRow = clampRow(outputBox.t() - 1 + padding_);
  bands_.resize(size_t(bandOf(area_.lastRow)) + 1);
  // The rows of every worker a little apart, each reaching the padding up and down, straddling
  // band edges, and the band each maps ahead.
  const size_t workers = std::max(1u, threads);
  const size_t rows = 2 * size_t(padding_) + 1 + 2 * workers;
  capacity_ = (rows + kBandRows - 1) / kBandRows + 2 + workers;
  builder_ = std::move(builder);
}

bool ktSourceBands::covers(int y, int x, int r, int padding) const {
  if (bands_.empty() || padding != padding_) return false;
  const int left = x - padding, right = r + padding;
  const bool columns = left >= area_.x0 && right <= area_.x1;
  const bool inFormat = left <= std::max(formatWidth_ - 1, 0) && right >= 1;
  const bool rows = clampRow(y - padding) >= area_.firstRow && clampRow(y + padding) <= area_.lastRow;
  return columns && inFormat && rows;
}

size_t ktSourceBands::mapped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mappedCount_;
}

// A slot for a band about to be mapped: a free one, a new one while fewer than the capacity are
// held, else the least recently used band no row holds. When every band is held: a new one, or
// null unless `beyondCapacity`.
ktSourceBands::Slot* ktSourceBands::freeSlot(bool beyondCapacity) {
  Slot* oldest = nullptr;
  for (const auto& s : slots_) {
    if (s->band < 0) return s.get();
    if (s->holders == 0 && bands_[size_t(s->band)].state == State::Mapped &&
        (!oldest || s->lastUse < oldest->lastUse))
      oldest = s.get();
  }
  if (slots_.size() < capacity_ || (!oldest && beyondCapacity)) {
    slots_.push_back(std::make_unique<Slot>());
    return slots_.back().get();
  }
  if (!oldest) return nullptr;
  bands_[size_t(oldest->band)] = Band{};
  oldest->band = -1;
  return oldest;
}

bool ktSourceBands::map(int band, ktSourceMap& into) {
  ktSourceMap::Area a = area_;
  a.firstRow = area_.firstRow + band * kBandRows;
  a.lastRow = std::min(area_.lastRow, a.firstRow + kBandRows - 1);
  try {
    into.layout(*ctx_, kernelRows_, a, channels_);
    return builder_(into) && into.complete();
  } catch (...) {
    // Out of memory while mapping: the reference engine serves the rows instead.
    into.clear();
    return false;
  }
}

const ktSourceMap* ktSourceBands::hold(int band) {
  std::unique_lock<std::mutex> lock(mutex_);
  Band& b = bands_[size_t(band)];
  for (;;) {
    if (b.state == State::Failed) return nullptr;
    if (b.state == State::Mapped) {
      ++b.slot->holders;
      b.slot->lastUse = ++clock_;
      return &b.slot->map;
    }
    if (b.state == State::Unmapped) return mapHeld(band, freeSlot(true), lock);
    mappedSignal_.wait(lock);
  }
}

// Maps an unmapped band into `slot` and returns it held, or null when mapping failed. Called
// with the lock held; mapping runs without it.
const ktSourceMap* ktSourceBands::mapHeld(int band, Slot* slot, std::unique_lock<std::mutex>& lock) {
  Band& b = bands_[size_t(band)];
  slot->band = band;
  slot->holders = 1;
  b = Band{State::Mapping, slot};
  lock.unlock();
  const bool ok = map(band, slot->map);
  lock.lock();
  ++mappedCount_;
  slot->lastUse = ++clock_;
  if (ok) {
    b.state = State::Mapped;
  } else {
    b = Band{State::Failed, nullptr};
    slot->band = -1;
    slot->holders = 0;
  }
  mappedSignal_.notify_all();
  return ok ? &slot->map : nullptr;
}

// Maps the band the rows will need next, going the way the last two rows went, so that the
// thread that first reaches it finds it ready instead of waiting for another to map it.
void ktSourceBands::mapAhead(int y, int first, int last) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool down = y < lastAsked_;
  lastAsked_ = y;
  const int band = down ? first - 1 : last + 1;
  if (band < 0 || band >= int(bands_.size()) || bands_[size_t(band)].state != State::Unmapped) return;
  Slot* slot = freeSlot(false);  // never more bands than the capacity for a guess
  if (slot && mapHeld(band, slot, lock)) --bands_[size_t(band)].slot->holders;
}

void ktSourceBands::release(int band) {
  std::lock_guard<std::mutex> lock(mutex_);
  --bands_[size_t(band)].slot->holders;
}

ktSourceBands::Window::Window(ktSourceBands& bands, int y) : bands_(bands) {
  first_ = bands.bandOf(bands.clampRow(y - bands.padding_));
  const int last = bands.bandOf(bands.clampRow(y + bands.padding_));
  for (int b = first_; b <= last; ++b) {
    if (!bands.hold(b)) {
      ok_ = false;
      return;
    }
    last_ = b;
  }
  bands.mapAhead(y, first_, last_);
}

ktSourceBands::Window::~Window() {
  for (int b = first_; b <= last_; ++b) bands_.release(b);
}
