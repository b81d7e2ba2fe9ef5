// pulldex-cli: the IVTC list of TMPGEnc projects from the command line.
// Builds the command line and hands each command to the library in src/cli.
#include <CLI/CLI.hpp>

#include <iostream>

#include "base/sys.h"
#include "cli/cli.h"
#include "version.h"

int main(int argc, char** argv) {
  using namespace pulldex::cli;
  pulldex::sys::consoleSpeaksUtf8();
  CLI::App app{
      "Pulldex: reads the IVTC list of TMPGEnc projects (.tpr) and turns it into an AVI script,\n"
      "a project without copy frames, a frame-setting file, frame lists and timestamps.",
      "pulldex-cli"};
  app.set_version_flag("--version", "pulldex-cli " PULLDEX_VERSION);
  app.require_subcommand(1);
  app.footer(
      "Outputs go beside each project unless -o names one:\n"
      "  asc         movie.tpr -> movie.asc\n"
      "  strip       movie.tpr -> movie.nocopy.tpr\n"
      "  sfs         movie.tpr -> movie.sfs\n"
      "  frames      movie.tpr -> movie.frames.txt\n"
      "  timestamps  movie.tpr -> movie.timestamps.txt\n"
      "  report      --html: movie.tpr -> movie.report.html (the report itself goes to standard output)\n"
      "An existing output is replaced only once the new one is complete, and keeps\n"
      "its owner and rights. A PROJECT or --sfs FILE may be a pipe, or - for standard\n"
      "input (strip needs a regular file). -o - writes to standard output.\n"
      "Exit status: 0 all done, 1 a file could not be read or written, 2 usage error.\n");

  Options o;
  auto* infoCmd = app.add_subcommand("info", "Print the frame count, the counts of each state and the codes in use");
  infoCmd->add_flag("--json", o.json, "One JSON object per project (an array for several)");
  infoCmd->add_option("--sfs", o.sfs, "Import this frame-setting file in place of the project's list first");
  infoCmd->add_option("PROJECT", o.projects, "TMPGEnc project files")->required();

  auto* reportCmd = app.add_subcommand(
      "report", "Show where the cadence breaks: the script's sections, the breaks to review and a summary");
  reportCmd->add_flag("--json", o.json, "One JSON object per project (an array for several)");
  reportCmd->add_option("--sfs", o.sfs, "Import this frame-setting file in place of the project's list first");
  std::string html;
  auto* htmlOption =
      reportCmd->add_option("--html", html, "Also write a self-contained HTML page (default movie.report.html; - for standard output)")
          ->expected(0, 1);
  reportCmd->add_option("PROJECT", o.projects, "TMPGEnc project files")->required();

  struct Producer {
    const char* name;
    const char* help;
    Output kind;
  };
  const Producer producers[] = {
      {"asc", "Write the AVI script of kept frames (.asc)", Output::Script},
      {"strip", "Write a copy of the project without its copy frames", Output::Stripped},
      {"sfs", "Write the frame-setting file (.sfs)", Output::Settings},
      {"frames", "Write the numbers of the kept frames, one per line (a keep list for other tools)",
       Output::Frames},
      {"timestamps", "Write an mkvmerge timestamp file (v2) that keeps each kept frame at its moment",
       Output::Timestamps},
  };
  std::vector<std::pair<CLI::App*, Output>> commands;
  for (const Producer& p : producers) {
    auto* cmd = app.add_subcommand(p.name, p.help);
    cmd->add_option("--sfs", o.sfs, "Import this frame-setting file in place of the project's list first");
    cmd->add_option("PROJECT", o.projects, "TMPGEnc project files")->required();
    cmd->add_option("-o,--output", o.output,
                    p.kind == Output::Stripped ? "Output file (one project only); the project itself strips in place"
                                               : "Output file (one project only); - for standard output");
    if (p.kind == Output::Script || p.kind == Output::Settings)
      cmd->add_flag("--force", o.force, "Replace the project itself when -o names it");
    if (p.kind == Output::Frames)
      cmd->add_flag("--dropped", o.dropped, "The numbers of the frames that are not kept instead");
    if (p.kind == Output::Timestamps)
      cmd->add_option("--rate", o.rate, "Rate of the list's entries: NUM/DEN, an integer or a decimal (29.97)")
          ->capture_default_str();
    commands.emplace_back(cmd, p.kind);
  }

  try {
    app.parse(argc, argv);
    if (!o.output.empty() && o.projects.size() != 1)
      throw CLI::ValidationError("-o,--output", "takes one project only");
    if (!o.sfs.empty() && o.projects.size() != 1) throw CLI::ValidationError("--sfs", "takes one project only");
    if (o.output == "-" && app.got_subcommand("strip"))
      throw CLI::ValidationError("-o,--output", "strip writes a file, not standard output");
    if (o.sfs == "-" && !o.projects.empty() && o.projects[0] == "-")
      throw CLI::ValidationError("--sfs", "the project and --sfs cannot both be standard input");
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kUsage;
  }

  if (htmlOption->count() > 0) {
    if (!html.empty() && o.projects.size() != 1) {
      std::cerr << "pulldex-cli: --html OUT takes one project only\n";
      return kUsage;
    }
    o.html = html;
  }
  if (infoCmd->parsed()) return info(o, std::cout, std::cerr);
  if (reportCmd->parsed()) return report(o, std::cout, std::cerr);
  for (const auto& [cmd, kind] : commands)
    if (cmd->parsed()) return produce(o, kind, std::cerr);
  return kUsage;
}
