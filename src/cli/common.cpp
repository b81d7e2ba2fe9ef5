// What the commands share: output names, rates, JSON text, messages,
// standard output and loading a project.
#include <algorithm>
#include <cstdio>
#include <ostream>

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

std::string jsonString(const std::string& text, bool* replaced) {
  if (replaced) *replaced = false;
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20 || c == 0x7f) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out += escaped;
      } else {
        out += static_cast<char>(c);
      }
      ++p;
      continue;
    }
    // A well-formed sequence of 2 to 4 bytes (no overlong forms, no
    // surrogates, nothing above U+10FFFF) is copied; anything else is one
    // replaced byte.
    const int length = c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3 : c >= 0xf0 && c <= 0xf4 ? 4 : 0;
    bool good = length > 0 && end - p >= length;
    for (int k = 1; good && k < length; ++k) good = (p[k] & 0xc0) == 0x80;
    if (good && length == 3) good = !(c == 0xe0 && p[1] < 0xa0) && !(c == 0xed && p[1] >= 0xa0);
    if (good && length == 4) good = !(c == 0xf0 && p[1] < 0x90) && !(c == 0xf4 && p[1] >= 0x90);
    if (good) {
      out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
      p += length;
    } else {
      out += "\xef\xbf\xbd";
      if (replaced) *replaced = true;
      ++p;
    }
  }
  return out + "\"";
}

void printReports(Context& c, const std::vector<std::string>& objects) {
  std::string text;
  if (!c.options.json) {
    for (std::size_t i = 0; i < objects.size(); ++i) text += (i ? "\n" : "") + objects[i];
  } else {
    // Always an array, so that a script over *.tpr reads one shape.
    text = "[";
    for (std::size_t i = 0; i < objects.size(); ++i) text += (i ? ",\n " : "") + objects[i];
    text += "]\n";
  }
  c.out.write(text);
}

int fail(Context& c, const std::string& file, const Status& status) {
  const bool toStdout = file == "-";
  if (toStdout) {
    if (c.out.reported) return kFailed;
    c.out.reported = true;
  }
  c.err << (toStdout ? "pulldex-cli: standard output" : file) << ": " << errorText(status.error);
  if (status.osError != 0) c.err << " (" << sys::errorMessage(status.osError) << ")";
  if (status.error == Error::OutputIsProject) {
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

std::string outputPath(const Options& o, const std::string& project, const std::string& infix,
                       const std::string& extension) {
  if (!o.output.empty()) return o.output;
  const std::string beside = besideProject(project, infix, extension);
  if (o.outputDir.empty()) return beside;
  const std::size_t slash = beside.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? beside : beside.substr(slash + 1);
  const char last = o.outputDir.back();
  return o.outputDir + (last == '/' || last == '\\' ? "" : "/") + name;
}

Destination destinationFor(Context& c, Project& project, const std::string& path, Error cannotCreate) {
  return {.path = path,
          .cannotCreate = cannotCreate,
          .project = &project,
          .otherProjects = c.projects,
          .force = c.options.force,
          .standardOutput = &c.out};
}

namespace {

// An import that is most likely a mistake is still made, as asked; these
// say what looks wrong with it.
void warnAboutSettings(Context& c, const FrameSettingsFacts& facts, std::int32_t projectEntries) {
  const std::string& name = c.options.sfs;
  if (facts.bytes == 0) {
    c.err << name << ": the file is empty; the project's list is used\n";
    return;
  }
  if (facts.bytes != projectEntries)
    c.err << name << ": " << facts.bytes << " entries, the project has " << projectEntries << "\n";
  if (facts.firstOther >= 0)
    c.err << name << ": byte " << facts.firstOther
          << " is not a frame setting (0 to 6 or ?); such bytes are skipped\n";
}

}  // namespace

int forEachProject(Context& c, const std::function<int(Project&)>& use) {
  int status = kOk;
  for (const std::string& path : c.options.projects) {
    Project project;
    int s = kOk;
    if (const Status loaded = project.load(path); !loaded.ok()) {
      s = fail(c, path, loaded);
    } else if (!c.options.sfs.empty()) {
      FrameSettingsFacts facts;
      const std::int32_t entries = project.list().count();
      if (const Status imported = project.importSettings(c.options.sfs, &facts); !imported.ok())
        s = fail(c, c.options.sfs, imported);
      else
        warnAboutSettings(c, facts, entries);
    }
    if (s == kOk) s = use(project);
    status = std::max(status, s);
  }
  return status;
}

}  // namespace pulldex::cli
