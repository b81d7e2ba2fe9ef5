#include "formats/avi_script.h"

#include "base/file.h"

namespace pulldex {

DecimalText::DecimalText(std::uint32_t value) {
  do {
    digits_[--start_] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
}

std::string proposedScriptName(std::string projectPath) {
  const std::size_t n = projectPath.size();
  if (n >= 4 && projectPath[n - 4] == '.') projectPath.replace(n - 3, 3, "asc");
  return projectPath;
}

namespace {

// Walks the kept entries and hands each finished line to `emit`.
template <class Emit>
void generateScript(const FrameList& list, Emit&& emit) {
  // The period of gaps that the next kept entries are expected to follow:
  // period[t] is the gap the next kept entry must have. Empty when m is 0.
  std::int64_t period[4] = {};
  int m = 0;
  int t = 0;
  std::uint32_t keptIndex = 0;
  std::string line;

  const auto chainGaps = [&list](std::int64_t from, std::int64_t* gaps, int n) {
    for (int k = 0; k < n; ++k) {
      gaps[k] = list.gap(from);
      from += gaps[k] + 1;
    }
    return from;
  };
  const auto appendOnes = [&line](const std::int64_t* gaps, int n) {
    for (int k = 0; k < n; ++k) {
      line += '1';
      line.append(static_cast<std::size_t>(gaps[k]), '0');
    }
  };

  for (std::int32_t i = 0; i < list.count(); ++i) {
    if (!list.isKept(i)) continue;
    const std::int64_t g = list.gap(i);
    const std::uint32_t k = keptIndex++;
    if (m > 0) {
      if (g == period[t]) {
        t = (t + 1) % m;
        continue;
      }
      m = 0;
      if (g >= 5) continue;
    }

    line.clear();
    line += decimalText(static_cast<std::uint32_t>(i / 2)).view();
    line += i % 2 == 0 ? "a\t" : "b\t";
    std::int64_t gaps[8] = {g};
    if (g >= 5) {
      line += "1 0";
    } else {
      const std::int64_t after = chainGaps(i, gaps, 4);
      const bool cycleSum = gaps[0] + gaps[1] + gaps[2] + gaps[3] == 6 && !(gaps[2] == gaps[0] && gaps[3] == gaps[1]);
      if (cycleSum) chainGaps(after, gaps + 4, 4);
      if (cycleSum && gaps[4] == gaps[0] && gaps[5] == gaps[1] && gaps[6] == gaps[2] && gaps[7] == gaps[3]) {
        appendOnes(gaps, 4);
        m = 4;
        t = 1;
      } else if (gaps[1] == gaps[0]) {
        appendOnes(gaps, 1);
        m = 1;
        t = 0;
      } else if ((gaps[1] == gaps[0] + 1 || gaps[1] == gaps[0] - 1) && gaps[2] == gaps[0]) {
        appendOnes(gaps, 2);
        m = 2;
        t = 1;
      } else {
        line += g == 0 ? "1" : "1 0";
      }
      for (int p = 0; p < m; ++p) period[p] = gaps[p];
    }
    line += '\t';
    line += decimalText(k).view();
    line += "\r\n";
    emit(line);
  }
}

}  // namespace

std::string aviScript(const FrameList& list) {
  std::string text;
  generateScript(list, [&text](const std::string& line) { text += line; });
  return text;
}

Error writeAviScript(const std::string& path, const FrameList& list) {
  AtomicOutput out;
  if (!out.open(path)) return Error::CreateScript;
  bool ok = true;
  generateScript(list, [&](const std::string& line) { ok = ok && out.write(line); });
  return ok && out.commit() ? Error::None : Error::WriteFile;
}

}  // namespace pulldex
