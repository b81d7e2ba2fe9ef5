// Writes the inputs of the benchmarks into a folder:
//   scan.tpr   256 MiB of other data with a small IVTC block at its very end
//   strip.tpr  256 MiB with a 100,000-frame IVTC block in the middle
//   project-like.tpr  256 MiB of named entries as real projects have them
//              ("Video.…" keys and near misses of the marker), block at the end
//   worst.tpr  256 MiB of "Video.DeinterlaceEx.Lis" over and over, block at the end
//   ten-million.tpr  10,000,000 frames, every one with a record, in which
//              every kept frame gets its own line of AVI script (gaps 0, 3)
//   ten-million-text.tpr  the same list in a project saved as text
//   hard.tpr   10,000,000 frames kept with gaps of 0, 2, 0 and 3 between
//              them, over and over: every kept frame starts a line of its own
#include <cstdio>
#include <fstream>
#include <string>

#include "project_builder.h"

using namespace pulldex::testdata;

namespace {

// Streams `mib` MiB of noise, so that the generator itself stays small.
void writeNoise(std::ofstream& out, int mib, std::uint32_t seed) {
  for (int i = 0; i < mib; ++i) {
    const std::string chunk = noise(1 << 20, seed + static_cast<std::uint32_t>(i));
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
}

std::string pattern(std::size_t frames, const char* unit) {
  std::string p;
  p.reserve(frames + 16);
  while (p.size() < frames) p += unit;
  p.resize(frames);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_bench_files FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  {
    std::ofstream out(folder + "/scan.tpr", std::ios::binary | std::ios::trunc);
    writeNoise(out, 256, 1);
    const std::string block = ivtcBlock(recordsFromPattern(pattern(1000, "KCKCC")));
    out.seekp(-static_cast<std::streamoff>(block.size()), std::ios::end);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  {
    // Entries named like a project's, with values of noise between them.
    std::ofstream out(folder + "/project-like.tpr", std::ios::binary | std::ios::trunc);
    const char* names[] = {"Video.Deinterlace",        "Video.DeinterlaceEx.Lis", "Video.Source", "Video.Filter.Count",
                           "Video.DeinterlaceEx.Mode", "Video.Clip.Start",        "Audio.Gain",   "Video.Noise.Level"};
    std::string chunk;
    for (std::uint32_t i = 0; chunk.size() < (1u << 20); ++i) chunk += namedEntry(names[i % 8], noise(8 + i % 40, i));
    for (int i = 0; i < 256; ++i) out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const std::string block = ivtcBlock(recordsFromPattern(pattern(1000, "KCKCC")));
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  {
    std::ofstream out(folder + "/worst.tpr", std::ios::binary | std::ios::trunc);
    std::string chunk;
    while (chunk.size() < (1u << 20)) chunk += "Video.DeinterlaceEx.Lis";
    for (int i = 0; i < 256; ++i) out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const std::string block = ivtcBlock(recordsFromPattern(pattern(1000, "KCKCC")));
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  {
    std::ofstream out(folder + "/strip.tpr", std::ios::binary | std::ios::trunc);
    const std::string block = ivtcBlock(recordsFromPattern(pattern(100000, "KCKCC")));
    writeNoise(out, 128, 2);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
    writeNoise(out, 128, 3);
  }
  {
    std::ofstream out(folder + "/ten-million.tpr", std::ios::binary | std::ios::trunc);
    const auto records = recordsFromPattern(pattern(10'000'000, "KCCCK"), {0, 11, 16, 3});
    const std::string project =
        namedEntry("Project.Version", "2.5") + ivtcBlock(records) + namedEntry("Project.Notes", "end");
    out.write(project.data(), static_cast<std::streamsize>(project.size()));
    std::ofstream text(folder + "/ten-million-text.tpr", std::ios::binary | std::ios::trunc);
    const std::string textForm = textProject(ivtcValue(records));
    text.write(textForm.data(), static_cast<std::streamsize>(textForm.size()));
  }
  {
    std::ofstream out(folder + "/hard.tpr", std::ios::binary | std::ios::trunc);
    const std::string block = ivtcBlock(recordsFromPattern(pattern(10'000'000, "KKCCKKCCC")));
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  return 0;
}
