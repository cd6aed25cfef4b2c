#include "commandLine.h"

#include <CLI/CLI.hpp>
#include <cstdio>

namespace {

// Adds the render subcommand; returns its --camera option, whose presence counts.
CLI::Option* addRender(CLI::App& app, RenderRequest& r) {
  CLI::App* sub = app.add_subcommand("render", "defocus one image, or a frame range");
  sub->add_option("INPUT", r.input, "input image (EXR, or any image with a depth channel)");
  sub->add_option("-o,--output", r.output,
                  "output image: .exr keeps every channel; .png, .jpg, .tif for viewing")
      ->required();
  sub->add_option("--set", r.sets, "set a knob by its name (repeatable; see orvel knobs)")
      ->type_name("KNOB=VALUE")
      ->allow_extra_args(false);
  sub->add_option("--script", r.script, "knob values from a file, one 'name value' a line, # comments")
      ->type_name("FILE");
  sub->add_option("--kernel", r.kernel, "aperture image for kernelType Input (input 1, Kernel)")
      ->type_name("FILE");
  sub->add_option("--mattes", r.mattes, "matte image (input 4, Mattes)")->type_name("FILE");
  CLI::Option* camera = sub->add_option(
      "--camera", r.camera,
      "camera on input 2: focal=50,focal_point=1000,fstop=2,haperture=24.89,vaperture=18.67 (any subset)");
  camera->type_name("VALUES");
  sub->add_option("--threads", r.threads, "threads to render with (default: all processors)")
      ->check(CLI::Range(1u, 256u));
  sub->add_option("--frames", r.frames,
                  "render frames A to B; # or %04d in INPUT and OUTPUT stand for the frame")
      ->type_name("A-B");
  sub->add_flag("--quiet,-q", r.quiet, "no progress bar");
  sub->add_flag("--half", r.half, "write EXR channels as 16-bit floats");
  sub->add_option("--compression", r.compression,
                  "EXR compression: none, rle, zips, zip (default), piz, pxr24, b44, b44a, dwaa, dwab")
      ->check(CLI::IsMember({"none", "rle", "zips", "zip", "piz", "pxr24", "b44", "b44a", "dwaa", "dwab"}))
      ->type_name("NAME");
  sub->add_option("--deep", r.deep, "deep EXR on input 3 (Deep Input); INPUT is then optional")
      ->type_name("FILE");
  sub->add_option_function<std::string>(
         "--engine", [&r](const std::string& e) { r.referenceEngine = e == "reference"; },
         "fast (default), or reference: the straightforward engine kept for verification")
      ->check(CLI::IsMember({"fast", "reference"}))
      ->type_name("ENGINE");
  sub->add_option("--max-memory", r.maxMemoryGB,
                  "refuse inputs that would take more than this once read (default: half the memory)")
      ->type_name("GB")
      ->check(CLI::PositiveNumber);
  sub->add_option("--depth-edges", r.depthEdges,
                  "put ktDepthEdges (radius 1 to 8, default 1) before the node: edge pixels take the nearest "
                  "depth around; its depth channel and style follow the node's; set its knobs with "
                  "--set ktDepthEdges.KNOB=VALUE (or in --script); put INPUT before this option")
      ->expected(0, 1)
      ->default_str("1")
      ->check(CLI::Range(1, 8))
      ->type_name("[RADIUS]");
  return camera;
}

// Adds the demo subcommand; returns its --output option, whose presence counts.
CLI::Option* addDemo(CLI::App& app, DemoRequest& d) {
  CLI::App* sub =
      app.add_subcommand("demo", "render the built-in scene to orvel-demo.exr and orvel-demo.png");
  CLI::Option* output =
      sub->add_option("-o,--output", d.output, "EXR path; the PNG goes beside it")->type_name("OUTPUT");
  sub->add_option("--threads", d.threads, "threads to render with (default: all processors)")
      ->check(CLI::Range(1u, 256u));
  sub->add_flag("--quiet,-q", d.quiet, "no progress bar and no summary");
  sub->add_flag("--deep", d.deep, "render the built-in deep scene (to orvel-demo-deep.exr by default)");
  return output;
}

void addBench(CLI::App& app, BenchRequest& b) {
  CLI::App* sub = app.add_subcommand(
      "bench", "time both engines on built-in 1920 x 1080 flat and deep frames and compare their pictures");
  sub->add_option("--threads", b.threads, "threads to render with (default: all processors)")
      ->check(CLI::Range(1u, 256u));
  sub->add_option("--runs", b.runs, "timed runs per engine, the minimum reported (default 5)")
      ->check(CLI::Range(1, 100));
  sub->add_flag("--quick", b.quick, "a 960 x 540 frame, one run each");
  sub->add_option_function<std::string>(
         "--size",
         [&b](const std::string& text) {
           if (std::sscanf(text.c_str(), "%dx%d", &b.width, &b.height) != 2 || b.width < 16 ||
               b.height < 16 || b.width > 16384 || b.height > 16384)
             throw CLI::ValidationError("--size", "give WIDTHxHEIGHT, each from 16 to 16384");
         },
         "frame size instead (e.g. 480x270)")
      ->type_name("WxH");
}

}  // namespace

Status parseCommandLine(int argc, char** argv, CommandLine& out) {
  CLI::App app{"orvel: lens defocus by depth, with the ktOrvel node, from the command line", "orvel"};
  app.require_subcommand(1);
  CommandLine parsed;
  CLI::Option* camera = addRender(app, parsed.render);
  CLI::Option* demoOutput = addDemo(app, parsed.demo);
  addBench(app, parsed.bench);
  app.add_subcommand("knobs", "list the parameters of the node and of ktDepthEdges");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    app.exit(e);  // prints the help asked for
    out = CommandLine();
    return Status::success();
  } catch (const CLI::ParseError& e) {
    return Status::usage(std::string(e.what()) + " (orvel --help for help)");
  }
  parsed.render.hasCamera = camera->count() > 0;
  if (parsed.demo.deep && demoOutput->count() == 0) parsed.demo.output = "orvel-demo-deep.exr";
  if (app.got_subcommand("render"))
    parsed.command = Command::Render;
  else if (app.got_subcommand("demo"))
    parsed.command = Command::Demo;
  else if (app.got_subcommand("knobs"))
    parsed.command = Command::Knobs;
  else if (app.got_subcommand("bench"))
    parsed.command = Command::Bench;
  out = std::move(parsed);
  return Status::success();
}
