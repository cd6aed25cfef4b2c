// Checks on a render before it starts: options, knobs and the input file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "cli/commandLine.h"
#include "cli/knobs.h"
#include "files/imageReader.h"
#include "status.h"

namespace DD {
namespace Image {
class Op;
class DeepOp;
}  // namespace Image
}  // namespace DD

// What the renderer checks around the node before and after a render: refusals of settings that
// cannot give a picture, warnings for settings that would change nothing, and hints that follow
// the node's own messages on lines of their own.

// Before anything is read: there is something to render, and a frame pattern comes with --frames.
Status checkRenderRequest(const RenderRequest& request);

// Each matte knob set names a channel of the Mattes file; a matte knob without --mattes warns.
Status checkMatteChannels(const DD::Image::Op& node, const LoadedImage& mattes, const std::string& path,
                          std::vector<std::string>& warnings);

// Counts the input's pixels with a NaN or infinite colour channel and says what they do.
void warnNonFiniteColour(const LoadedImage& input, const std::string& path,
                         std::vector<std::string>& warnings);

// Options and values the node would ignore or change without a word: --camera without
// realWorldLens (whose focus distance `cameraFocus` alone still counts), --kernel without
// kernelType Input, numbers beyond a clamped knob's range.
void warnIgnoredSettings(const RenderRequest& request, const DD::Image::Op& node,
                         const std::vector<KnobAssignment>& assignments, double cameraFocus,
                         std::vector<std::string>& warnings);

// A defocused image equal to its input (within 1e-6 of each channel's largest value) warns that
// nothing was out of focus.
// Every channel the input and the output share is compared. When some pixel's blur is over one
// pixel, the reason named is that orvelChannels holds none of the input's channels.
void warnIfUnchanged(const DD::Image::Op& node, const DD::Image::Iop& input, const ChannelNames& names,
                     const DD::Image::Iop& output, const std::string& path,
                     std::vector<std::string>& warnings);

// The renderer's line after a node warning or error that leads nowhere by itself, chosen by what
// the node says it found rather than by its message: after the warning that max_kernelsize cuts
// the largest blurs, once `rendered` brought the node's warnings back; after the error of a
// missing Kernel input.
void addHintsToWarnings(const DD::Image::Op& node, const Status& rendered,
                        std::vector<std::string>& warnings);
Status withHints(Status status, const DD::Image::Op& node);
// After a knob value naming a channel no channel has, the input's channels and the nearest names.
Status withChannelHint(Status status, const std::optional<std::string>& unknownChannel,
                       const std::vector<std::string>& inputChannels);

// --focus-at X,Y: sets focalPlane to the median depth of the 5 x 5 pixels around (X, Y), counted
// from the display window's top-left, and says so in `note`. With depthStyle "1/z" the median
// value v gives the distance 1 / v (infinitely far for 0 or below).
Status focusAt(const std::string& text, DD::Image::Op& node, const LoadedImage& input, std::string& note);

// The input must carry the node's depth channel for every output but the filter-shape preview.

// Checks `channels` (the input file's) for the channel the node's depthChannel knob names.
// `fileChannels` are the file's channel names, listed in the message.
Status checkDepthChannel(const DD::Image::Op& node, const DD::Image::ChannelSet& channels,
                         const std::vector<std::string>& fileChannels, const std::string& path);

// INPUT beside a deep input (--deep, or --layer when `deepFile` is false) must have its display
// window: it only brings the channels the deep samples lack.
Status checkSameFormat(const standin::MemoryIop& input, const std::string& path,
                       const DD::Image::DeepOp& deep, bool deepFile);

// Refuses an output path that names one of `inputs` (the same file by any path).
Status checkOutputIsNoInput(const std::string& output, const std::vector<std::string>& inputs);

// The channels written as float under --half: the node's depth channel by its file name, and Z
// and ZBack.
std::vector<std::string> depthChannelNames(const DD::Image::Op& node, const ChannelNames& names);
