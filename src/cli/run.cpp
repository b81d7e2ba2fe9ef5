// The command line: CLI11 parses it, then one command runs and standard
// output is checked before the exit status is returned.
#include <CLI/CLI.hpp>

#include <sstream>

#include "cli/cli.h"
#include "version.h"

namespace pulldex::cli {

namespace {

struct Command {
  const char* name;
  const char* help;
  const char* output;  // "movie.tpr -> ..." for the footer, or null for none
  bool writes;
  Output kind;
};

constexpr Command kCommands[] = {
    {"info", "Print the frame count, the counts of each state and the codes in use", nullptr, false, Output::Script},
    {"report", "Show where the cadence breaks: the script's sections, the breaks to review and a summary",
     "--html: movie.tpr -> movie.report.html (the report itself goes to standard output)", true, Output::Script},
    {"asc", "Write the AVI script of kept frames (.asc)", "movie.tpr -> movie.asc", true, Output::Script},
    {"strip", "Write a copy of the project without its copy frames", "movie.tpr -> movie.nocopy.tpr", true,
     Output::Stripped},
    {"sfs", "Write the frame-setting file (.sfs)", "movie.tpr -> movie.sfs", true, Output::Settings},
    {"frames", "Write the numbers of the kept entries, one per line (a keep list for other tools)",
     "movie.tpr -> movie.frames.txt", true, Output::Frames},
    {"script", "Write the kept frames as a filter script for ffmpeg, or a script for AviSynth or VapourSynth",
     "movie.tpr -> movie.ffmpeg.txt, movie.avs (--for avisynth), movie.vpy (--for vapoursynth)", true,
     Output::ToolScript},
    {"timestamps", "Write an mkvmerge timestamp file that puts each output frame at the moment of its first field",
     "movie.tpr -> movie.timestamps.txt", true, Output::Timestamps},
};

constexpr char kReplaceNote[] =
    "An existing output is replaced only once the new one is complete (see the\n"
    "README for what a replaced file keeps). No output replaces a PROJECT of the\n"
    "command line unless --force is given; strip -o PROJECT strips it in place.\n";
constexpr char kInputNote[] =
    "A PROJECT or --sfs FILE may be a pipe, or - for standard input (strip needs a\n"
    "regular file).\n";
constexpr char kExitNote[] =
    "Exit status: 0 all done, 1 a file could not be read or written, 2 usage error\n"
    "(the worst over all projects).\n";

std::string commandFooter(const Command& command) {
  std::string footer;
  if (command.output) {
    const bool report = std::string_view(command.name) == "report";
    footer += std::string("Output, beside each project unless ") + (report ? "" : "-o or ") +
              "--output-dir says otherwise:\n  " + command.output + "\n";
    footer += std::string(kReplaceNote) + (report ? "" : "-o - writes to standard output.\n");
  }
  return footer + kInputNote + kExitNote;
}

std::string mainFooter() {
  std::string footer = "Outputs go beside each project unless -o or --output-dir says otherwise:\n";
  for (const Command& command : kCommands)
    if (command.output) {
      char line[160];
      std::snprintf(line, sizeof line, "  %-11s %s\n", command.name, command.output);
      footer += line;
    }
  return footer + kReplaceNote + kInputNote + "-o - writes to standard output. Run 'pulldex-cli COMMAND --help' for one command.\n" +
         kExitNote;
}

}  // namespace

int run(int argc, const char* const* argv, StandardOutput& out, std::ostream& err) {
  CLI::App app{
      "Pulldex: reads the IVTC list of TMPGEnc projects (.tpr) and turns it into an AVI script,\n"
      "a project without copy frames, a frame-setting file, frame lists and timestamps.",
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
  std::vector<std::pair<CLI::App*, const Command*>> commands;
  CLI::App* reportCmd = nullptr;
  for (const Command& command : kCommands) {
    auto* cmd = app.add_subcommand(command.name, command.help);
    cmd->footer(commandFooter(command));
    const std::string name = command.name;
    if (name == "info" || name == "report")
      cmd->add_flag("--json", o.json, "A JSON array with one object per project");
    cmd->add_option("--sfs", o.sfs, "Import this frame-setting file in place of the project's list first")
        ->type_name("FILE");
    if (name == "report") {
      reportCmd = cmd;
      cmd->add_flag("--html", htmlFlag,
                    "Also write a self-contained HTML page beside each project; --html=FILE names it "
                    "(one project; - for standard output)");
    }
    if (command.writes && name != "report")
      cmd->add_option("-o,--output", o.output,
                      command.kind == Output::Stripped
                          ? "Output file (one project only); the project itself strips in place"
                          : "Output file (one project only); - for standard output")
          ->type_name("FILE");
    if (command.writes) {
      cmd->add_option("--output-dir", o.outputDir, "Write the outputs into this folder, under their default names")
          ->type_name("DIR");
      cmd->add_flag("--force", o.force, "Let an output replace a PROJECT of the command line");
    }
    if (name == "script") {
      cmd->add_option("--for", o.tool, "The tool: ffmpeg, avisynth or vapoursynth")
          ->type_name("TOOL")
          ->check(CLI::IsMember({"ffmpeg", "avisynth", "vapoursynth"}))
          ->capture_default_str();
      auto* bff = cmd->add_flag("--bff", o.bff, "The source is bottom field first");
      cmd->add_flag("--tff", o.tff, "The source is top field first (the default, unless the project says otherwise)")
          ->excludes(bff);
    }
    if (name == "frames")
      cmd->add_flag("--dropped", o.dropped, "The numbers of the entries that are not kept instead");
    if (name == "timestamps" || name == "report")
      cmd->add_option("--rate", o.rate,
                      "The source video's frame rate: NUM/DEN, an integer or a decimal (29.97, 23.976 and 59.94 "
                      "mean their /1001 rates); its fields come twice as often")
          ->type_name("NUM/DEN")
          ->capture_default_str();
    if (name == "timestamps")
      cmd->add_flag("--v1", o.v1, "Format v1: a rate for each stretch, frames evenly spaced within it");
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
    for (const Command& command : kCommands) known = known || std::string_view(argv[1]) == command.name;
    if (!known) return usage(std::string("unknown command '") + argv[1] + "'");
  }

  const Command* chosen = nullptr;
  try {
    app.parse(static_cast<int>(args.size()), args.data());
    if (htmlFile && !reportCmd->parsed())
      throw CLI::ExtrasError({"--html=" + *htmlFile});
    for (const auto& [cmd, command] : commands)
      if (cmd->parsed()) chosen = command;
    if (!o.output.empty() && !o.outputDir.empty())
      throw CLI::ValidationError("-o,--output", "cannot be given with --output-dir");
    if (!o.output.empty() && o.projects.size() != 1)
      throw CLI::ValidationError("-o,--output", "takes one project only");
    if (!o.sfs.empty() && o.projects.size() != 1) throw CLI::ValidationError("--sfs", "takes one project only");
    if (o.output == "-" && chosen && std::string_view(chosen->name) == "strip")
      throw CLI::ValidationError("-o,--output", "strip writes a file, not standard output");
    if (o.sfs == "-" && !o.projects.empty() && o.projects[0] == "-")
      throw CLI::ValidationError("--sfs", "the project and --sfs cannot both be standard input");
    if (htmlFile) {
      if (htmlFile->empty()) throw CLI::ValidationError("--html", "needs a file name after =");
      if (o.projects.size() != 1) throw CLI::ValidationError("--html", "--html=FILE takes one project only");
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

  // An output beside "-" has no name to go by.
  const bool namesOutputs = chosen->writes && (std::string_view(chosen->name) != "report" || (o.html && o.html->empty()));
  if (namesOutputs && o.output.empty())
    for (const std::string& project : o.projects)
      if (project == "-")
        return usage(std::string(chosen->name) + ": a project from standard input needs " +
                     (std::string_view(chosen->name) == "report" ? "--html=FILE" : "-o"));

  Context c{o, out, err, {}};
  for (const std::string& project : o.projects) {
    sys::Identity id;
    if (project != "-" && sys::identifyPath(project, id)) c.projects.push_back(id);
  }
  int status = kOk;
  const std::string_view name = chosen->name;
  if (name == "info")
    status = info(c);
  else if (name == "report")
    status = report(c);
  else
    status = produce(c, chosen->kind);
  if (!out.finish()) status = std::max(status, fail(c, "-", {Error::WriteFile, Subject::Output, out.error()}));
  return status;
}

}  // namespace pulldex::cli
