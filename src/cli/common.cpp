// What the commands share: output names, rates, messages, standard output
// and loading a project.
#include <algorithm>
#include <cstdio>
#include <ostream>

#include "base/process.h"
#include "cli/cli.h"
#include "formats/frame_setting_file.h"

namespace pulldex::cli {

namespace {

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Digits only, and a value of at most `limit`.
bool parseWhole(const std::string& text, std::int64_t limit, std::int64_t& value) {
  if (text.empty() || text.size() > 12) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= limit;
}

std::string stemOf(const std::string& project) {
  const std::size_t slash = project.find_last_of("/\\");
  std::string name = slash == std::string::npos ? project : project.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// An output's default name, moved into --output-dir where one is given.
std::string inOutputDir(const Options& o, const std::string& beside) {
  if (o.outputDir.empty()) return beside;
  const std::size_t slash = beside.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? beside : beside.substr(slash + 1);
  const char last = o.outputDir.back();
  return o.outputDir + (last == '/' || last == '\\' ? "" : "/") + name;
}

// A default name that is the very file standard output writes to is
// standard output, with its rules: "movie.report.html" in "report --html
// movie.tpr > movie.report.html".
std::string orStandardOutput(const std::string& path) { return sys::isStandardOutput(path) ? "-" : path; }

}  // namespace

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

std::string outputPath(const Options& o, const std::string& project) {
  const char* infix = "";
  const char* extension = "";
  switch (o.command) {
    case Command::Info:
      return {};
    case Command::Report:
    case Command::Check:
      if (!o.html) return {};
      if (!o.html->empty()) return *o.html;
      infix = o.command == Command::Report ? ".report" : ".check";
      extension = ".html";
      break;
    case Command::Asc:
      extension = ".asc";
      break;
    case Command::Strip:
      infix = ".nocopy";
      break;
    case Command::Sfs:
      extension = ".sfs";
      break;
    case Command::Frames:
      infix = ".frames";
      extension = ".txt";
      break;
    case Command::Timestamps:
      infix = ".timestamps";
      extension = ".txt";
      break;
    case Command::Script:
      extension = scriptExtension(o.tool);
      break;
  }
  // The page of a report names its file with --html=FILE, not -o.
  if (!o.output.empty() && o.command != Command::Report && o.command != Command::Check) return o.output;
  return orStandardOutput(inOutputDir(o, besideProject(project, infix, extension)));
}

std::string fixedPath(const Options& o, const std::string& project) {
  if (!o.output.empty()) return o.output;
  return orStandardOutput(inOutputDir(o, besideProject(project, ".fixed", "")));
}

bool parseRate(const std::string& text, std::int64_t& num, std::int64_t& den) {
  // The NTSC rates people write as decimals.
  static const struct {
    const char* text;
    std::int64_t num, den;
  } kNtsc[] = {{"23.976", 24000, 1001}, {"29.97", 30000, 1001}, {"59.94", 60000, 1001}, {"119.88", 120000, 1001}};
  for (const auto& r : kNtsc)
    if (text == r.text) {
      num = r.num;
      den = r.den;
      return true;
    }
  // Small enough that entry number * 1000 * den never overflows.
  constexpr std::int64_t kLimit = 1'000'000;
  const std::size_t slash = text.find('/');
  const std::size_t point = text.find('.');
  if (slash != std::string::npos) {
    if (!parseWhole(text.substr(0, slash), kLimit, num) || !parseWhole(text.substr(slash + 1), kLimit, den))
      return false;
  } else if (point != std::string::npos) {
    const std::string fraction = text.substr(point + 1);
    std::int64_t whole = 0, part = 0;
    if (fraction.empty() || fraction.size() > 6 || !parseWhole(text.substr(0, point), kLimit, whole) ||
        !parseWhole(fraction, kLimit, part))
      return false;
    den = 1;
    for (std::size_t i = 0; i < fraction.size(); ++i) den *= 10;
    num = whole * den + part;
    if (num > kLimit) return false;
  } else {
    if (!parseWhole(text, kLimit, num)) return false;
    den = 1;
  }
  return num > 0 && den > 0;
}

std::string videoFor(const Options& o, std::size_t index) {
  if (o.videos.size() == 1 && o.videos[0].find("{}") != std::string::npos) {
    std::string video = o.videos[0];
    const std::string stem = stemOf(o.projects[index]);
    for (std::size_t at = video.find("{}"); at != std::string::npos; at = video.find("{}", at + stem.size()))
      video.replace(at, 2, stem);
    return video;
  }
  return index < o.videos.size() ? o.videos[index] : std::string();
}

int fail(Context& c, const std::string& file, const Status& status) {
  const bool stream = file == "-";
  const bool toStdout = stream && status.subject == Subject::Output;
  if (toStdout) {
    if (c.out.reported) return kFailed;
    c.out.reported = true;
  }
  c.err << (toStdout ? "pulldex-cli: standard output"
            : stream ? "pulldex-cli: standard input"
                     : file)
        << ": " << errorText(status.error);
  if (status.osError != 0) c.err << " (" << sys::errorMessage(status.osError) << ")";
  if (status.error == Error::OutputIsProject || status.error == Error::OutputIsInput) {
    c.err << "; add --force to replace it\n";
    return kUsage;
  }
  c.err << "\n";
  return kFailed;
}

int fail(Context& c, const std::string& project, const std::string& output, const Status& status) {
  switch (status.subject) {
    case Subject::Output:
      return fail(c, output, status);
    case Subject::Settings:
      return fail(c, c.options.sfs, status);
    case Subject::Project:
      break;
  }
  return fail(c, project, status);
}

int failDecoding(Context& c, const std::string& video, const std::string& ffmpeg, const DecodeProblem& problem) {
  c.err << video << ": " << errorText(problem.error);
  const std::string found = sys::findProgram(ffmpeg);
  const std::string program = found.empty() ? ffmpeg : found;
  if (problem.error == Error::IndexedFileMissing || problem.error == Error::DvdIndex)
    c.err << " (" << problem.detail << (problem.osError ? ": " + sys::errorMessage(problem.osError) : "") << ")";
  else if (problem.error == Error::StartDecoder || problem.error == Error::DecoderIsScript)
    c.err << " (" << program << (problem.osError ? ": " + sys::errorMessage(problem.osError) : "") << ")";
  else if (!problem.detail.empty())
    c.err << " (" << (problem.error == Error::DecoderFailed ? program + ": " : "") << problem.detail << ")";
  c.err << "\n";
  return kFailed;
}

Reports::Reports(Context& c) : c_(c), stream_(c.out), json_(stream_) {
  if (c.options.json) json_.StartArray();
}

void Reports::beginText() {
  if (!first_) c_.out.write("\n", 1);
  first_ = false;
}

void Reports::finish() {
  if (c_.options.json) {
    json_.EndArray();
    stream_.Put('\n');
  }
  stream_.Flush();
}

StdoutSink::StdoutSink() { sys::binaryStdout(); }

bool StdoutSink::write(const void* data, std::size_t n) {
  if (ok_ && std::fwrite(data, 1, n, stdout) != n) {
    ok_ = false;
    error_ = sys::lastError();
  }
  return ok_;
}

bool StdoutSink::finish() {
  if (ok_ && std::fflush(stdout) != 0) {
    ok_ = false;
    error_ = sys::lastError();
  }
  return ok_;
}

Destination destinationFor(Context& c, Project& project, const std::string& path, Error cannotCreate) {
  return {.path = path,
          .cannotCreate = cannotCreate,
          .project = &project,
          .run = &c.run,
          .force = c.options.force,
          .standardOutput = &c.out};
}

std::string sourceFilterFor(const Options& o, const std::string& video) {
  if (!o.sourceFilter.empty()) return o.sourceFilter;
  return isDvdIndex(video) ? "d2v.Source" : "lsmas.LWLibavSource";
}

bool topFieldFirst(const Options& o, const Project& project) {
  return o.bff ? false : o.tff ? true : project.topFieldFirst().value_or(true);
}

namespace {

// An import that is most likely a mistake is still made, as asked; these
// say what looks wrong with it.
void warnAboutSettings(Context& c, const FrameSettingsFacts& facts, std::int32_t projectEntries) {
  const std::string& name = c.options.sfs == "-" ? "pulldex-cli: standard input" : c.options.sfs;
  if (facts.bytes == 0) {
    c.err << name << ": the file is empty; the project's list is used\n";
    return;
  }
  if (facts.bytes != projectEntries)
    c.err << name << ": " << facts.bytes << " entries, the project has " << projectEntries << "\n";
  if (facts.firstOther >= 0)
    c.err << name << ": byte " << facts.firstOther << " is not a frame setting (0 to 6 or ?); such bytes are skipped\n";
}

}  // namespace

int forEachProject(Context& c, const std::function<int(Project&, std::size_t)>& use) {
  int status = kOk;
  for (std::size_t i = 0; i < c.options.projects.size(); ++i) {
    const std::string& path = c.options.projects[i];
    Project project;
    int s = kOk;
    // Only the scripts and the check weave fields: they need the field order.
    const bool fieldOrder = c.options.command == Command::Script || c.options.command == Command::Check;
    if (const Status loaded = project.load(path, fieldOrder); !loaded.ok()) {
      s = fail(c, path, loaded);
    } else if (!c.options.sfs.empty()) {
      FrameSettingsFacts facts;
      const std::int32_t entries = project.list().count();
      if (const Status imported = project.importSettings(c.options.sfs, &facts); !imported.ok())
        s = fail(c, c.options.sfs, imported);
      else
        warnAboutSettings(c, facts, entries);
    }
    if (s == kOk) s = use(project, i);
    status = std::max(status, s);
  }
  return status;
}

}  // namespace pulldex::cli
