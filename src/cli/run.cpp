// The command line: CLI11 parses it, every option becomes what it means, the
// run's files are checked against each other, then one command runs and
// standard output is checked before the exit status is returned.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <map>
#include <sstream>

#include "base/sys.h"
#include "cli/cli.h"
#include "version.h"

namespace pulldex::cli {

namespace {

struct CommandInfo {
  Command command;
  const char* name;
  const char* help;
  const char* output;  // "movie.tpr -> ..." for the footer, or null for none
};

constexpr CommandInfo kCommands[] = {
    {Command::Info, "info", "Print the frame count, the counts of each state and the codes in use", nullptr},
    {Command::Report, "report",
     "Show where the cadence breaks: the script's sections, the breaks to review and a summary",
     "--html: movie.tpr -> movie.report.html (the report itself goes to standard output)"},
    {Command::Asc, "asc", "Write the AVI script of kept frames (.asc)", "movie.tpr -> movie.asc"},
    {Command::Strip, "strip",
     "Write a copy of the project without its copy frames (the project must be a regular file)",
     "movie.tpr -> movie.nocopy.tpr"},
    {Command::Sfs, "sfs", "Write the frame-setting file (.sfs)", "movie.tpr -> movie.sfs"},
    {Command::Frames, "frames", "Write the numbers of the kept entries, one per line (a keep list for other tools)",
     "movie.tpr -> movie.frames.txt"},
    {Command::Script, "script",
     "Write the kept frames as a filter script for ffmpeg, a script for AviSynth or VapourSynth, or a Wobbly project",
     "movie.tpr -> movie.ffmpeg.txt, movie.avs (--for avisynth), movie.vpy (--for vapoursynth),\n"
     "  movie.wob (--for wobbly --video SOURCE)"},
    {Command::Timestamps, "timestamps",
     "Write an mkvmerge timestamp file that puts each output frame at the moment of its first field",
     "movie.tpr -> movie.timestamps.txt"},
    {Command::Check, "check",
     "Check the decisions against the video: decode it with ffmpeg, group its fields into the film's pictures, find "
     "the kept entries that weave two pictures, the pictures kept twice or lost and where the list is off the video; "
     "--fix writes the repaired project",
     "--html: movie.tpr -> movie.check.html (the check itself goes to standard output)\n"
     "  --fix:  movie.tpr -> movie.fixed.tpr"},
};

constexpr char kReplaceNote[] =
    "An existing output is replaced only once the new one is complete (see the\n"
    "README for what a replaced file keeps). No output replaces a file the run\n"
    "reads (a PROJECT, the --sfs FILE, a --video) unless --force is given, and two\n"
    "outputs of one run never go to one file; strip -o PROJECT strips it in place.\n"
    "A device, a FIFO or /dev/stdout as the output is written straight through.\n";
constexpr char kInputNote[] = "A PROJECT or --sfs FILE may be a pipe, or - for standard input.\n";
constexpr char kExitNote[] =
    "Exit status: 0 all done, 1 a file could not be read or written, 2 usage error\n"
    "or an output refused (the worst over all projects).\n";

bool pageCommand(Command c) { return c == Command::Report || c == Command::Check; }

std::string commandFooter(const CommandInfo& command) {
  std::string footer;
  if (command.output) {
    const bool page = pageCommand(command.command);
    footer += std::string("Output, beside each project unless ") + (page ? "" : "-o or ") +
              "--output-dir says otherwise:\n  " + command.output + "\n";
    footer += std::string(kReplaceNote) +
              (page ? "--html=- writes the page to standard output.\n" : "-o - writes to standard output.\n");
  }
  return footer + kInputNote + kExitNote;
}

std::string mainFooter() {
  std::string footer = "Outputs go beside each project unless -o or --output-dir says otherwise:\n";
  for (const CommandInfo& command : kCommands)
    if (command.output) {
      char line[160];
      std::snprintf(line, sizeof line, "  %-11s %s\n", command.name, command.output);
      footer += line;
    }
  return footer + kReplaceNote + kInputNote +
         "-o - writes to standard output. Run 'pulldex-cli COMMAND --help' for one command.\n" + kExitNote;
}

// A whole number from `low` to `high`, turned into one where it is parsed.
CLI::Validator wholeNumber(int& value, int low, int high) {
  return CLI::Validator(
      [&value, low, high](std::string& text) -> std::string {
        int v = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (error != std::errc() || end != text.data() + text.size())
          return "must be a whole number (" + std::to_string(low) + " to " + std::to_string(high) + "): " + text;
        if (v < low || v > high)
          return "must be from " + std::to_string(low) + " to " + std::to_string(high) + ": " + text;
        value = v;
        return {};
      },
      "N");
}

// A share from 0 to 1.
CLI::Validator shareValidator(std::optional<double>& share) {
  return CLI::Validator(
      [&share](std::string& text) -> std::string {
        double v = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (error != std::errc() || end != text.data() + text.size() || !(v >= 0 && v <= 1))
          return "must be a number from 0 to 1: " + text;
        share = v;
        return {};
      },
      "SHARE");
}

// --rate's value, checked and turned into a fraction where it is parsed.
CLI::Validator rateValidator(FrameRate& rate) {
  return CLI::Validator(
      [&rate](std::string& text) -> std::string {
        if (!parseRate(text, rate.num, rate.den)) return "not a frame rate: " + text;
        return {};
      },
      "NUM/DEN");
}

// "namespace.Function", as VapourSynth names a plugin's function.
bool sourceFilterName(const std::string& name) {
  const auto word = [](std::string_view w) {
    return !w.empty() && !std::isdigit(static_cast<unsigned char>(w[0])) && std::all_of(w.begin(), w.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
  };
  const std::size_t dot = name.find('.');
  return dot != std::string::npos && word(std::string_view(name).substr(0, dot)) &&
         word(std::string_view(name).substr(dot + 1));
}

constexpr const char* kKnownSourceFilters[] = {"lsmas.LWLibavSource", "ffms2.Source", "bs.VideoSource", "d2v.Source",
                                               "dgdecodenv.DGSource"};

bool knownSourceFilter(const std::string& name) {
  return std::find(std::begin(kKnownSourceFilters), std::end(kKnownSourceFilters), name) !=
         std::end(kKnownSourceFilters);
}

}  // namespace

int run(int argc, const char* const* argv, StandardOutput& out, std::ostream& err) {
  CLI::App app{
      "Pulldex: reads the IVTC list of TMPGEnc projects (.tpr) and turns it into an AVI script,\n"
      "a project without copy frames, a frame-setting file, frame lists, timestamps and scripts.",
      "pulldex-cli"};
  app.set_version_flag("--version", "pulldex-cli " PULLDEX_VERSION);
  app.require_subcommand(1);
  app.footer(mainFooter());

  Options o;
  // --html=FILE is taken out before CLI11 parses the rest: as an option with
  // an optional value, --html would take the next word, a project, for its
  // value.
  std::vector<const char*> args;
  std::optional<std::string> htmlFile;
  bool optionsEnd = false;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    optionsEnd = optionsEnd || arg == "--";
    if (!optionsEnd && arg.substr(0, 7) == "--html=")
      htmlFile = std::string(arg.substr(7));
    else
      args.push_back(argv[i]);
  }
  bool htmlFlag = false;
  std::string rateText;                                 // parsed into o.rate by its check
  std::string searchText, thresholdText, pulldownText;  // parsed by their checks
  std::vector<std::pair<CLI::App*, const CommandInfo*>> commands;
  const std::map<std::string, ScriptTool> tools = {{"ffmpeg", ScriptTool::Ffmpeg},
                                                   {"avisynth", ScriptTool::AviSynth},
                                                   {"vapoursynth", ScriptTool::VapourSynth},
                                                   {"wobbly", ScriptTool::Wobbly}};
  for (const CommandInfo& command : kCommands) {
    auto* cmd = app.add_subcommand(command.name, command.help);
    cmd->footer(commandFooter(command));
    const Command k = command.command;
    if (k == Command::Info || pageCommand(k))
      cmd->add_flag("--json", o.json, "A JSON array with one object per project");
    cmd->add_option("--sfs", o.sfs, "Import this frame-setting file in place of the project's list first")
        ->type_name("FILE");
    if (pageCommand(k))
      cmd->add_flag("--html", htmlFlag,
                    "Also write a self-contained HTML page beside each project; --html=FILE names it "
                    "(one project; - for standard output)");
    if (command.output && !pageCommand(k))
      cmd->add_option("-o,--output", o.output, "Output file (one project only); - for standard output")
          ->type_name("FILE");
    if (k == Command::Check) {
      cmd->add_flag("--fix", o.fix,
                    "Write the repaired project: kept marks moved, removed or added where the video proves them "
                    "wrong, every other byte as it was");
      cmd->add_flag("--from-video", o.fromVideo,
                    "--fix: ignore the list's marks and derive every one from the video (the film's pictures, "
                    "the 2:3 rhythm through stills and held drawings, every frame of 60i video); the list's "
                    "length and codes stay");
      cmd->add_option("-o,--output", o.output,
                      "--fix: the repaired project's file (one project only); - for standard output, which then "
                      "takes the check's text off it (to standard error)")
          ->type_name("FILE");
    }
    if (command.output) {
      cmd->add_option("--output-dir", o.outputDir, "Write the outputs into this folder, under their default names")
          ->type_name("DIR");
      cmd->add_flag("--force", o.force,
                    "Let an output replace a file the run reads (a PROJECT, the --sfs FILE, a --video)");
    }
    if (k == Command::Check || k == Command::Script) {
      auto* video = cmd->add_option("--video", o.videos,
                                    std::string(k == Command::Script
                                                    ? "The video the project was made from (needed by --for wobbly; "
                                                      "with the others, its pulldown flags are read)"
                                                    : "The video the project was made from") +
                                        ". With several projects, once for each, in order, or once with {} for the "
                                        "project's name without its extension ('src/{}.m2v')")
                        ->type_name("FILE")
                        ->expected(1)
                        ->allow_extra_args(false)
                        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
      if (k == Command::Check) video->required();
      cmd->add_option("--ffmpeg", o.ffmpeg,
                      "The ffmpeg program that decodes the video (default: ffmpeg on PATH; on Windows beside "
                      "pulldex-cli first)")
          ->type_name("PATH");
    }
    if (k == Command::Check || k == Command::Script)
      cmd->add_option("--pulldown", pulldownText,
                      "The list was made from the fields the stream's repeat-first-field flags show (apply) or from "
                      "two fields a coded picture (ignore); default: the one whose length the list has")
          ->type_name("apply|ignore")
          ->check([&o](const std::string& text) -> std::string {
            if (text == "apply" || text == "ignore") {
              o.pulldown = text == "apply";
              return {};
            }
            return "--pulldown takes apply or ignore, not " + text;
          });
    if (k == Command::Script) {
      cmd->add_option("--source-filter", o.sourceFilter,
                      "--for wobbly: the source filter Wobbly opens the video with, as namespace.Function "
                      "(lsmas.LWLibavSource, ffms2.Source, bs.VideoSource, dgdecodenv.DGSource; d2v.Source for a "
                      "DVD index .d2v, which is the default there; lsmas.LWLibavSource elsewhere)")
          ->type_name("NAME");
      cmd->add_flag("--no-check", o.noCheck,
                    "--for wobbly: no check of the list against the video, whose combed frames and bookmarks the "
                    "project would hold");
    }
    if (k == Command::Check) {
      cmd->add_option("--search", searchText, "Try shifts of the list of up to N fields either way (0 to 64)")
          ->type_name("N")
          ->check(wholeNumber(o.search, 0, 64))
          ->default_str("8");
      cmd->add_option("--pictures", o.pictures,
                      "--html: the findings shown with pictures of their frames, the worst first (0 for none)")
          ->type_name("N")
          ->capture_default_str();
      cmd->add_option("--threshold", thresholdText,
                      "A frame is combed where more than this share of its worst 16x16 window combs (0 to 1; 0: any "
                      "comb at all; default: each frame judged against the frames around it)")
          ->type_name("SHARE")
          ->check(shareValidator(o.threshold));
      auto* bff = cmd->add_flag("--bff", o.bff, "The video is bottom field first, whatever the project says");
      cmd->add_flag("--tff", o.tff, "The video is top field first, whatever the project says")->excludes(bff);
    }
    if (k == Command::Script) {
      cmd->add_option("--for", o.tool, "The tool: ffmpeg, avisynth, vapoursynth or wobbly")
          ->type_name("TOOL")
          ->transform(CLI::CheckedTransformer(tools, CLI::ignore_case))
          ->default_str("ffmpeg");
      auto* bff = cmd->add_flag("--bff", o.bff, "The source is bottom field first, whatever the project says");
      cmd->add_flag("--tff", o.tff, "The source is top field first, whatever the project says")->excludes(bff);
    }
    if (k == Command::Frames)
      cmd->add_flag("--dropped", o.dropped, "The numbers of the entries that are not kept instead");
    if (k == Command::Timestamps || k == Command::Report) {
      cmd->add_option("--rate", rateText,
                      "The source video's frame rate: NUM/DEN, an integer or a decimal (29.97, 23.976 and 59.94 "
                      "mean their /1001 rates); its fields come twice as often")
          ->type_name("NUM/DEN")
          ->check(rateValidator(o.rate))
          ->default_str("30000/1001");
    }
    if (k == Command::Timestamps)
      cmd->add_flag("--v1", o.v1, "Format v1: a rate for each stretch, periodic stretches evenly spaced");
    cmd->add_option("PROJECT", o.projects, "TMPGEnc project files")->type_name("FILE")->required();
    commands.emplace_back(cmd, &command);
  }

  const auto usage = [&](const std::string& text) {
    err << "pulldex-cli: " << text << "\nRun 'pulldex-cli --help' for the commands.\n";
    return kUsage;
  };
  // CLI11 would call an unknown command an unexpected argument.
  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    for (const CommandInfo& command : kCommands) known = known || std::string_view(argv[1]) == command.name;
    if (!known) return usage(std::string("unknown command '") + argv[1] + "'");
  }

  try {
    app.parse(static_cast<int>(args.size()), args.data());
    for (const auto& [cmd, command] : commands)
      if (cmd->parsed()) o.command = command->command;
    if (htmlFile && !pageCommand(o.command)) throw CLI::ExtrasError({"--html=" + *htmlFile});
    if (!o.output.empty() && !o.outputDir.empty())
      throw CLI::ValidationError("-o,--output", "cannot be given with --output-dir");
    if (!o.output.empty() && o.projects.size() != 1)
      throw CLI::ValidationError("-o,--output", "takes one project only");
    if (o.fromVideo && !o.fix)
      throw CLI::ValidationError("--from-video", "writes a repaired project, so it goes with --fix");
    if (o.command == Command::Check && !o.output.empty() && !o.fix)
      throw CLI::ValidationError("-o,--output",
                                 "names the repaired project, so it goes with --fix (--html=FILE names the page)");
    // A name of standard output is standard output, with its rules.
    if (!o.output.empty() && sys::isStandardOutput(o.output)) o.output = "-";
    if (htmlFile && !htmlFile->empty() && sys::isStandardOutput(*htmlFile)) htmlFile = "-";
    if (o.output == "-" && o.fix && (o.json || (htmlFile && *htmlFile == "-")))
      throw CLI::ValidationError("-o,--output", "-o - and " + std::string(o.json ? "--json" : "--html=-") +
                                                    " would both go to standard output");
    if (!o.sfs.empty() && o.projects.size() != 1) throw CLI::ValidationError("--sfs", "takes one project only");
    if (o.sfs == "-" && !o.projects.empty() && o.projects[0] == "-")
      throw CLI::ValidationError("--sfs", "the project and --sfs cannot both be standard input");
    const bool wantsVideo =
        o.command == Command::Check || (o.command == Command::Script && o.tool == ScriptTool::Wobbly);
    if (o.command == Command::Script && wantsVideo && o.videos.empty())
      throw CLI::ValidationError("--video", "is required with --for wobbly: Wobbly opens the source itself");
    if (o.command == Command::Script && o.tool == ScriptTool::Ffmpeg && o.pulldown.value_or(false) && o.videos.empty())
      throw CLI::ValidationError("--pulldown",
                                 "apply needs --video for ffmpeg: its script keeps coded pictures, by the fields "
                                 "each one shows");
    if (!o.videos.empty() && o.videos.size() != o.projects.size() &&
        !(o.videos.size() == 1 && o.videos[0].find("{}") != std::string::npos))
      throw CLI::ValidationError("--video", "give one video for each project, or one with {} for the project's name");
    if (!o.sourceFilter.empty() && !(o.command == Command::Script && o.tool == ScriptTool::Wobbly))
      throw CLI::ValidationError("--source-filter", "goes with --for wobbly");
    if (o.noCheck && !(o.command == Command::Script && o.tool == ScriptTool::Wobbly))
      throw CLI::ValidationError("--no-check", "goes with --for wobbly");
    if (!o.sourceFilter.empty()) {
      if (!sourceFilterName(o.sourceFilter))
        throw CLI::ValidationError(
            "--source-filter",
            "must be a VapourSynth function as namespace.Function, such as ffms2.Source: " + o.sourceFilter);
      for (std::size_t i = 0; i < o.projects.size(); ++i) {
        const bool index = isDvdIndex(videoFor(o, i));
        if (index != (o.sourceFilter == "d2v.Source"))
          throw CLI::ValidationError("--source-filter",
                                     index ? "a DVD index (.d2v) is opened with d2v.Source"
                                           : "d2v.Source opens a DVD index (.d2v), not " + videoFor(o, i));
      }
    }
    if (htmlFile) {
      if (htmlFile->empty()) throw CLI::ValidationError("--html", "needs a file name after =");
      if (o.projects.size() != 1) throw CLI::ValidationError("--html", "--html=FILE takes one project only");
      if (*htmlFile == "-" && o.json)
        throw CLI::ValidationError("--html", "--html=- and --json would both go to standard output");
      o.html = htmlFile;
    } else if (htmlFlag) {
      o.html = std::string();
    }
  } catch (const CLI::ParseError& e) {
    std::ostringstream help, error;
    const int code = app.exit(e, help, error);
    out.write(help.str());
    err << error.str();
    if (code != 0) return kUsage;
    Context c{o, out, err, {}};
    return out.finish() ? kOk : fail(c, "-", {Error::WriteFile, Subject::Output, out.error()});
  }

  Context c{o, out, err, {}};
  if (!o.sourceFilter.empty() && !knownSourceFilter(o.sourceFilter)) {
    err << "pulldex-cli: --source-filter " << o.sourceFilter << " is none of the usual ones (";
    for (const char* known : kKnownSourceFilters) err << (known == kKnownSourceFilters[0] ? "" : ", ") << known;
    err << "); Wobbly must have it\n";
  }
  // An output beside "-" has no name to go by.
  const char* name = "";
  for (const CommandInfo& command : kCommands)
    if (command.command == o.command) name = command.name;
  for (const std::string& project : o.projects)
    if (project == "-" && !outputPath(o, "-").empty() && o.output.empty() && (!o.html || o.html->empty()))
      return usage(std::string(name) + ": a project from standard input needs " +
                   (pageCommand(o.command) ? "--html=FILE" : "-o"));

  // Every file of the run, before anything is written: what it reads may
  // not be replaced, and no two outputs may go to one file.
  for (const std::string& project : o.projects) c.run.addInput(project, RunFiles::Kind::Project);
  if (!o.sfs.empty()) c.run.addInput(o.sfs, RunFiles::Kind::Settings);
  for (std::size_t i = 0; i < o.projects.size() && !o.videos.empty(); ++i)
    c.run.addInput(videoFor(o, i), RunFiles::Kind::Video);
  for (const std::string& project : o.projects) {
    for (const std::string& output : {outputPath(o, project), o.fix ? fixedPath(o, project) : std::string()}) {
      std::string earlier;
      if (!output.empty() && !c.run.claim(output, project, earlier)) {
        err << output << ": " << errorText(Error::OutputsCollide) << " (from " << earlier << " and " << project
            << ")\n";
        return kUsage;
      }
    }
    // The page and the check's text cannot share standard output.
    if (o.json && outputPath(o, project) == "-")
      return usage(std::string(name) + ": the page and --json would both go to standard output");
  }

  int status = kOk;
  switch (o.command) {
    case Command::Info:
      status = info(c);
      break;
    case Command::Report:
      status = report(c);
      break;
    case Command::Check:
      status = check(c);
      break;
    default:
      status = produce(c);
      break;
  }
  if (!out.finish()) status = std::max(status, fail(c, "-", {Error::WriteFile, Subject::Output, out.error()}));
  return status;
}

}  // namespace pulldex::cli
