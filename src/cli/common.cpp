// What the commands share: output names, rates, JSON text, messages,
// standard output and loading a project.
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

void printReports(std::ostream& out, const std::vector<std::string>& objects, const Options& o) {
  if (!o.json) {
    for (std::size_t i = 0; i < objects.size(); ++i) out << (i ? "\n" : "") << objects[i];
  } else if (o.projects.size() == 1) {
    if (!objects.empty()) out << objects[0] << "\n";
  } else {
    out << "[";
    for (std::size_t i = 0; i < objects.size(); ++i) out << (i ? ",\n " : "") << objects[i];
    out << "]\n";
  }
}

int fail(std::ostream& err, const std::string& file, const Status& status) {
  err << file << ": " << errorText(status.error);
  if (status.osError != 0) err << " (" << sys::errorMessage(status.osError) << ")";
  err << "\n";
  return kFailed;
}

StdoutSink::StdoutSink() { sys::binaryStdout(); }

bool StdoutSink::write(const void* data, std::size_t n) {
  ok_ = ok_ && std::fwrite(data, 1, n, stdout) == n;
  return ok_;
}

bool StdoutSink::finish() { return std::fflush(stdout) == 0 && ok_; }

bool loadForCommand(const Options& o, const std::string& project, InputFile& file, FrameList& list,
                    BlockLocation& block, std::ostream& err) {
  if (!file.open(project)) {
    const bool device = file.kind() == sys::Kind::Device;
    fail(err, project, {device ? Error::Device : Error::OpenProject, Subject::Project, device ? 0 : file.error()});
    return false;
  }
  if (const Status s = readIvtcList(file, list, &block); !s.ok()) {
    fail(err, project, s);
    return false;
  }
  if (!o.sfs.empty()) {
    if (const Status s = readFrameSettings(o.sfs, list); !s.ok()) {
      fail(err, o.sfs, s);
      return false;
    }
  }
  return true;
}

}  // namespace pulldex::cli
