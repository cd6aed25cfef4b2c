#include "commandLine.h"

#include <CLI/CLI.hpp>

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
  return camera;
}

void addDemo(CLI::App& app, DemoRequest& d) {
  CLI::App* sub =
      app.add_subcommand("demo", "render the built-in scene to orvel-demo.exr and orvel-demo.png");
  sub->add_option("-o,--output", d.output, "EXR path; the PNG goes beside it")->type_name("OUTPUT");
  sub->add_option("--threads", d.threads, "threads to render with (default: all processors)")
      ->check(CLI::Range(1u, 256u));
  sub->add_flag("--quiet,-q", d.quiet, "no progress bar and no summary");
}

}  // namespace

Status parseCommandLine(int argc, char** argv, CommandLine& out) {
  CLI::App app{"orvel: lens defocus by depth, with the ktOrvel node, from the command line", "orvel"};
  app.require_subcommand(1);
  CommandLine parsed;
  CLI::Option* camera = addRender(app, parsed.render);
  addDemo(app, parsed.demo);
  app.add_subcommand("knobs", "list the node's parameters");
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
  if (app.got_subcommand("render"))
    parsed.command = Command::Render;
  else if (app.got_subcommand("demo"))
    parsed.command = Command::Demo;
  else if (app.got_subcommand("knobs"))
    parsed.command = Command::Knobs;
  out = std::move(parsed);
  return Status::success();
}
