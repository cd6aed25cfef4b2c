#include "cli/commandLine.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

namespace {

// The farm options; the rest of the render's options are repeated in each farm task.
void addFarm(CLI::App& sub, FarmRequest& f) {
  CLI::Option* slurm =
      sub.add_flag("--slurm", f.slurm,
                   "submit the --frames range to Slurm as an array job (paths must be on shared storage)");
  sub.add_option("--chunk", f.chunk, "with --slurm: frames a task (default: at least 4, at most 1000 tasks)")
      ->check(CLI::Range(1, 1000000))
      ->needs(slurm);
  sub.add_option("--sbatch", f.sbatch,
                 "with --slurm: options for sbatch, e.g. \"--partition=gpu --time=1:00:00\"")
      ->type_name("OPTIONS")
      ->needs(slurm);
  sub.add_flag("--wait", f.wait, "with --slurm: wait for the job, then name the frames that failed")
      ->needs(slurm);
}

// Options that name a file, made absolute for farm tasks that start elsewhere.
bool takesPath(const CLI::Option& o) {
  return o.get_positional() || o.get_type_name() == "FILE" || o.check_lname("output");
}

// The render options given, as `--name=value` (`-n value` for a short name alone, flags bare),
// INPUT first; --frames and the farm's own options left out.
std::vector<std::string> taskArguments(const CLI::App& sub) {
  std::vector<std::string> args;
  for (const CLI::Option* o : sub.get_options()) {
    if (o->count() == 0 || !(o->get_positional() || o->nonpositional())) continue;
    const bool shortOnly = o->get_lnames().empty() && !o->get_positional();
    const std::string name = o->get_positional() ? ""
                             : shortOnly         ? "-" + o->get_snames().front()
                                                 : "--" + o->get_lnames().front();
    if (name == "--frames" || name == "--slurm" || name == "--chunk" || name == "--sbatch" ||
        name == "--wait")
      continue;
    if (o->get_expected_max() == 0 || o->results().empty()) args.push_back(name);
    for (std::string value : o->get_expected_max() == 0 ? std::vector<std::string>() : o->results()) {
      if (takesPath(*o) && !value.empty())
        value = std::filesystem::absolute(value).lexically_normal().string();
      if (shortOnly) args.push_back(name);
      args.push_back(name.empty() || shortOnly ? value : name + "=" + value);
    }
  }
  return args;
}

// Adds the render subcommand; returns its --camera option, whose presence counts.
CLI::Option* addRender(CLI::App& app, RenderRequest& r) {
  CLI::App* sub = app.add_subcommand("render", "defocus one image, or a frame range");
  sub->add_option(
      "INPUT", r.input,
      "input image (EXR, or any image with a depth channel); with --deep or --layer it only brings "
      "the channels the deep samples lack, over the same display window");
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
  sub->add_option(
         "--frames", r.frames,
         "render frames A to B; # or %04d in INPUT and OUTPUT stand for the frame; frames that fail are "
         "named once the others are rendered")
      ->type_name("A-B");
  sub->add_flag("--quiet,-q", r.quiet, "no progress bar");
  CLI::Option* half = sub->add_flag(
      "--half", r.half,
      "write EXR channels as 16-bit floats, the depth as 32-bit (default: each as in its source)");
  sub->add_flag("--float", r.floats, "write every EXR channel as a 32-bit float")->excludes(half);
  sub->add_option("--compression", r.compression,
                  "EXR compression: none, rle, zips, zip (default), piz, pxr24, b44, b44a, dwaa, dwab (b44 "
                  "and b44a compress half channels only)")
      ->check(CLI::IsMember({"none", "rle", "zips", "zip", "piz", "pxr24", "b44", "b44a", "dwaa", "dwab"}))
      ->type_name("NAME");
  sub->add_option("--deep", r.deep, "deep EXR on input 3 (Deep Input); INPUT is then optional")
      ->type_name("FILE");
  sub->add_option(
         "--layer", r.layers,
         "flat layer (colour, alpha, depth) merged into the Deep Input; repeatable, depth decides the order")
      ->type_name("FILE")
      ->allow_extra_args(false);
  sub->add_option_function<std::string>(
         "--engine", [&r](const std::string& e) { r.referenceEngine = e == "reference"; },
         "fast (default), or reference: the straightforward engine kept for verification")
      ->check(CLI::IsMember({"fast", "reference"}))
      ->type_name("ENGINE");
  sub->add_option(
         "--max-memory", r.maxMemoryGB,
         "refuse inputs, and Lens Trace layers, that would take more than this (default: half the memory)")
      ->type_name("GB")
      ->check(CLI::PositiveNumber);
  sub->add_option("--depth-edges", r.depthEdges,
                  "put ktDepthEdges (radius 1 to 8, default 1) before the node: edge pixels take the nearest "
                  "depth around; its depth channel and style follow the node's; set its knobs with "
                  "--set ktDepthEdges.KNOB=VALUE (or in --script); put INPUT before this option; not with "
                  "--deep or --layer")
      ->expected(0, 1)
      ->default_str("1")
      ->check(CLI::Range(1, 8))
      ->type_name("[RADIUS]");
  sub->add_option("--part", r.part,
                  "the part of multi-part files to read: of INPUT, the --deep file and each --layer file "
                  "(default: the first)")
      ->type_name("NAME|INDEX");
  sub->add_option("--focus-at", r.focusAt,
                  "set focalPlane to the depth at this pixel (the median of its 5 x 5 neighbourhood; "
                  "x from the left, y from the top of the display window)")
      ->type_name("X,Y");
  sub->add_flag("--skip-existing", r.skipExisting, "leave frames whose output exists as they are");
  addFarm(*sub, r.farm);
  return camera;
}

void addDepth(CLI::App& app, DepthRequest& d) {
  CLI::App* sub = app.add_subcommand(
      "depth", "the depth range of an image and the blur the knobs give at its depths, before a render");
  sub->add_option("FILE", d.input, "flat image with a depth channel, or a deep EXR")->required();
  sub->add_option("--set", d.sets, "set a knob by its name (repeatable; see orvel knobs)")
      ->type_name("KNOB=VALUE")
      ->allow_extra_args(false);
  sub->add_option("--script", d.script, "knob values from a file, one 'name value' a line")
      ->type_name("FILE");
  sub->add_option("--part", d.part, "the part of a multi-part FILE to read (default: the first)")
      ->type_name("NAME|INDEX");
}

// CLI11's message, reworded where it names no option: an option given more than once.
std::string parseErrorText(const CLI::ParseError& e) {
  const std::string text = e.what();
  const size_t at = text.find(": At Most 1 required");
  if (at == std::string::npos) return text;
  const std::string option = text.substr(0, at);
  return option + " is given more than once; give it once" +
         (option == "--deep" ? " (several flat layers go in with --layer, each repeated)" : "");
}

// `--set KNOB VALUE` reads as two arguments; say what was meant before CLI11 reports the second.
Status checkSetOptions(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option != "--set" || value.find('=') != std::string::npos) continue;
    std::string example = value + "=VALUE";
    if (i + 2 < argc && argv[i + 2][0] != '-') example = value + "=" + argv[i + 2];
    return Status::usage("--set wants KNOB=VALUE, not '" + value + "': write --set " + example);
  }
  return Status::success();
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
  sub->add_flag("--occluder", d.occluder,
                "render the deep frame of lights behind thin posts (to orvel-demo-occluder.exr by default)");
  sub->add_option("--set", d.sets, "set a knob by its name after the demo's own (repeatable)")
      ->type_name("KNOB=VALUE")
      ->allow_extra_args(false);
  return output;
}

void addBench(CLI::App& app, BenchRequest& b) {
  CLI::App* sub = app.add_subcommand(
      "bench",
      "time both engines on built-in 1920 x 1080 flat and deep frames (and 3840 x 2160) and compare their "
      "pictures");
  sub->add_option("--threads", b.threads, "threads to render with (default: all processors)")
      ->check(CLI::Range(1u, 256u));
  sub->add_option("--runs", b.runs, "timed runs per engine, the minimum reported (default 5)")
      ->check(CLI::Range(1, 100));
  sub->add_flag(
      "--quick", b.quick,
      "only the flat 960 x 540 frame at max_kernelsize 64, one run per engine (seconds, not minutes)");
  sub->add_option("--cases", b.cases, "only the cases whose name holds this text (e.g. occluder)")
      ->type_name("TEXT");
  sub->add_option_function<std::string>(
         "--size",
         [&b](const std::string& text) {
           if (std::sscanf(text.c_str(), "%dx%d", &b.width, &b.height) != 2 || b.width < 16 ||
               b.height < 16 || b.width > 16384 || b.height > 16384)
             throw CLI::ValidationError("--size", "give WIDTHxHEIGHT, each from 16 to 16384");
         },
         "frame size instead (e.g. 480x270)")
      ->type_name("WxH");
  sub->add_option("--keep", b.keep,
                  "write each case's pictures to this folder as float EXR (CASE-ENGINE.exr), to compare "
                  "builds with idiff")
      ->type_name("DIR")
      ->check(CLI::ExistingDirectory);
}

}  // namespace

Status parseCommandLine(int argc, char** argv, CommandLine& out) {
  CLI::App app{"orvel: lens defocus by depth, with the ktOrvel node, from the command line", "orvel"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("orvel ") + ORVEL_VERSION);
  if (Status s = checkSetOptions(argc, argv); !s.ok()) return s;
  CommandLine parsed;
  CLI::Option* camera = addRender(app, parsed.render);
  CLI::Option* demoOutput = addDemo(app, parsed.demo);
  addBench(app, parsed.bench);
  addDepth(app, parsed.depth);
  app.add_subcommand("knobs", "list the parameters of the node and of ktDepthEdges (or only those named)")
      ->add_option("NAME", parsed.knobNames, "knob names (ktDepthEdges.NAME for the depth-edge node)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    app.exit(e);  // prints the help asked for
    out = CommandLine();
    return Status::success();
  } catch (const CLI::ParseError& e) {
    return Status::usage(parseErrorText(e) + " (orvel --help for help)");
  }
  parsed.render.hasCamera = camera->count() > 0;
  if (parsed.render.farm.slurm) {
    const CLI::App& render = *app.get_subcommand("render");
    parsed.render.farm.arguments = taskArguments(render);
    parsed.render.farm.threadsGiven = render.count("--threads") > 0;
  }
  if (parsed.demo.deep && demoOutput->count() == 0) parsed.demo.output = "orvel-demo-deep.exr";
  if (parsed.demo.occluder && demoOutput->count() == 0) parsed.demo.output = "orvel-demo-occluder.exr";
  if (app.got_subcommand("render"))
    parsed.command = Command::Render;
  else if (app.got_subcommand("demo"))
    parsed.command = Command::Demo;
  else if (app.got_subcommand("knobs"))
    parsed.command = Command::Knobs;
  else if (app.got_subcommand("bench"))
    parsed.command = Command::Bench;
  else if (app.got_subcommand("depth"))
    parsed.command = Command::Depth;
  out = std::move(parsed);
  return Status::success();
}
