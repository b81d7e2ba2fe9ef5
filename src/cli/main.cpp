// pulldex-cli: the IVTC list of TMPGEnc projects from the command line.
#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "base/sys.h"
#include "version.h"
#include "formats/avi_script.h"
#include "formats/frame_setting_file.h"
#include "project/ivtc_block.h"

namespace {

using namespace pulldex;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Options {
  std::vector<std::string> projects;
  std::string sfs;
  std::string output;
  bool json = false;
};

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The output name beside `project`: its stem, `infix`, then `extension` or,
// when that is empty, the project's own extension. Never the project's own
// name, not even on a file system that ignores case.
std::string besideProject(const std::string& project, const std::string& infix, std::string extension) {
  const std::size_t slash = project.find_last_of("/\\");
  const std::size_t dot = project.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  const std::string stem = hasExtension ? project.substr(0, dot) : project;
  if (extension.empty() && hasExtension) extension = project.substr(dot);
  std::string name = stem + infix + extension;
  if (sameName(name, project)) name = project + infix + extension;
  return name;
}

int fail(const std::string& file, Error error) {
  std::cerr << file << ": " << errorText(error) << "\n";
  return kFailed;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string describe(const std::string& path, const FrameList& list, bool json) {
  std::array<long, 256> states{};
  std::array<long, 256> codes{};
  for (const FrameEntry& e : list.entries) {
    ++states[e.state];
    if (e.state != Unlisted) ++codes[e.code];
  }
  // The values in use, in increasing order.
  const auto inUse = [](const std::array<long, 256>& counts, int from) {
    std::vector<std::pair<int, long>> used;
    for (int v = from; v < 256; ++v)
      if (counts[static_cast<std::size_t>(v)] > 0) used.emplace_back(v, counts[static_cast<std::size_t>(v)]);
    return used;
  };
  std::string out;
  if (json) {
    out = "{\"path\": " + jsonString(path) + ", \"frames\": " + std::to_string(list.count()) +
          ", \"kept\": " + std::to_string(states[Kept]) + ", \"copy\": " + std::to_string(states[Copy]) +
          ", \"unlisted\": " + std::to_string(states[Unlisted]) + ", \"otherStates\": {";
    const char* sep = "";
    for (const auto& [state, n] : inUse(states, Copy + 1)) {
      out += sep + std::string("\"") + std::to_string(state) + "\": " + std::to_string(n);
      sep = ", ";
    }
    out += "}, \"codes\": {";
    sep = "";
    for (const auto& [code, n] : inUse(codes, 0)) {
      out += sep + std::string("\"") + std::to_string(code) + "\": " + std::to_string(n);
      sep = ", ";
    }
    return out + "}}";
  }
  out = path + "\n  frames    " + std::to_string(list.count()) + "\n  Kept      " + std::to_string(states[Kept]) +
        "\n  Copy      " + std::to_string(states[Copy]) + "\n  Unlisted  " + std::to_string(states[Unlisted]) + "\n";
  for (const auto& [state, n] : inUse(states, Copy + 1))
    out += "  state " + std::to_string(state) + "   " + std::to_string(n) + "\n";
  out += "  codes of listed frames:";
  const auto usedCodes = inUse(codes, 0);
  if (usedCodes.empty()) out += " none";
  for (const auto& [code, n] : usedCodes) out += "\n    code " + std::to_string(code) + ": " + std::to_string(n);
  return out + "\n";
}

int info(const Options& o) {
  int status = 0;
  std::vector<std::string> objects;
  for (const std::string& project : o.projects) {
    FrameList list;
    if (const Error e = readIvtcList(project, list); e != Error::None) {
      status = fail(project, e);
      continue;
    }
    objects.push_back(describe(project, list, o.json));
  }
  if (!o.json) {
    for (std::size_t i = 0; i < objects.size(); ++i) std::cout << (i ? "\n" : "") << objects[i];
  } else if (o.projects.size() == 1) {
    if (!objects.empty()) std::cout << objects[0] << "\n";
  } else {
    std::cout << "[";
    for (std::size_t i = 0; i < objects.size(); ++i) std::cout << (i ? ",\n " : "") << objects[i];
    std::cout << "]\n";
  }
  return status;
}

enum class Output { Script, Stripped, Settings };

int produce(const Options& o, Output kind) {
  int status = 0;
  for (const std::string& project : o.projects) {
    FrameList list;
    if (const Error e = readIvtcList(project, list); e != Error::None) {
      status = fail(project, e);
      continue;
    }
    if (!o.sfs.empty()) {
      if (const Error e = readFrameSettings(o.sfs, list); e != Error::None) {
        status = fail(o.sfs, e);
        continue;
      }
    }
    if (o.output == "-") {
      const std::string bytes = kind == Output::Script ? aviScript(list) : frameSettingsText(list);
      sys::binaryStdout();
      if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        status = fail("-", Error::WriteFile);
      continue;
    }
    std::string target = o.output;
    Error e = Error::None;
    switch (kind) {
      case Output::Script:
        if (target.empty()) target = besideProject(project, "", ".asc");
        e = writeAviScript(target, list);
        break;
      case Output::Stripped:
        if (target.empty()) target = besideProject(project, ".nocopy", "");
        e = writeWithoutCopyFrames(project, target, list);
        break;
      case Output::Settings:
        if (target.empty()) target = besideProject(project, "", ".sfs");
        e = writeFrameSettings(target, list);
        break;
    }
    // Failures to open the project name the project; all others the output.
    if (e == Error::OpenSource)
      status = fail(project, e);
    else if (e != Error::None)
      status = fail(target, e);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Pulldex: reads the IVTC list of TMPGEnc projects (.tpr) and turns it into an AVI script,\n"
      "a project without copy frames, or a frame-setting file.",
      "pulldex-cli"};
  app.set_version_flag("--version", "pulldex-cli " PULLDEX_VERSION);
  app.require_subcommand(1);
  app.footer(
      "Outputs go beside each project unless -o names one:\n"
      "  asc    movie.tpr -> movie.asc\n"
      "  strip  movie.tpr -> movie.nocopy.tpr\n"
      "  sfs    movie.tpr -> movie.sfs\n"
      "An existing output is replaced only once the new one is complete.\n"
      "Exit status: 0 all done, 1 a file could not be read or written, 2 usage error.\n");

  Options o;
  auto* infoCmd = app.add_subcommand("info", "Print the frame count, the counts of each state and the codes in use");
  infoCmd->add_flag("--json", o.json, "One JSON object per project (an array for several)");
  infoCmd->add_option("PROJECT", o.projects, "TMPGEnc project files")->required();

  struct Producer {
    const char* name;
    const char* help;
    Output kind;
  };
  const Producer producers[] = {
      {"asc", "Write the AVI script of kept frames (.asc)", Output::Script},
      {"strip", "Write a copy of the project without its copy frames", Output::Stripped},
      {"sfs", "Write the frame-setting file (.sfs)", Output::Settings},
  };
  std::vector<std::pair<CLI::App*, Output>> commands;
  for (const Producer& p : producers) {
    auto* cmd = app.add_subcommand(p.name, p.help);
    cmd->add_option("--sfs", o.sfs, "Import this frame-setting file in place of the project's list first");
    cmd->add_option("PROJECT", o.projects, "TMPGEnc project files")->required();
    cmd->add_option("-o,--output", o.output,
                    p.kind == Output::Stripped ? "Output file (one project only)"
                                               : "Output file (one project only); - for standard output");
    commands.emplace_back(cmd, p.kind);
  }

  try {
    app.parse(argc, argv);
    if (!o.output.empty() && o.projects.size() != 1)
      throw CLI::ValidationError("-o,--output", "takes one project only");
    if (!o.sfs.empty() && o.projects.size() != 1) throw CLI::ValidationError("--sfs", "takes one project only");
    if (o.output == "-" && app.got_subcommand("strip"))
      throw CLI::ValidationError("-o,--output", "strip writes a file, not standard output");
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kUsage;
  }

  if (infoCmd->parsed()) return info(o);
  for (const auto& [cmd, kind] : commands)
    if (cmd->parsed()) return produce(o, kind);
  return kUsage;
}
