// Writes the sample project examples/sample.tpr: the IVTC list of 3000
// fields of telecined video between other entries of a project file. In 3:2
// pulldown a film frame spans two fields, then three, so one field of every
// two or three is kept and the others are copies.
//
//   0-1199     3:2 pulldown (kept fields 1 and 2 apart)
//   1200-1202  an edit that breaks the cadence
//   1203-2202  a 2:3:3:2 cadence
//   2203-2999  3:2 pulldown again, in the other phase
#include <cstdio>
#include <string>

#include "project_builder.h"

using namespace pulldex::testdata;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample OUTPUT.tpr\n");
    return 2;
  }
  std::string pattern;
  for (int i = 0; i < 240; ++i) pattern += "KCKCC";
  pattern += "KKC";
  for (int i = 0; i < 100; ++i) pattern += "KCKCCKCCKC";
  while (pattern.size() < 3000) pattern += "KCCKC";
  pattern.resize(3000);

  const std::string project = namedEntry("Project.Version", "2.5") +
                              namedEntry("Video.Source.FileName", "D:\\capture\\episode01.avi") +
                              namedEntry("Video.Source.Thumbnail", noise(4096, 1)) +
                              ivtcBlock(recordsFromPattern(pattern, {0, 11, 16, 3, 6, 10, 3})) +
                              namedEntry("Audio.Source.FileName", "D:\\capture\\episode01.wav") +
                              namedEntry("Video.Encode.Bitrate", "6000") + namedEntry("Project.Notes", noise(2048, 2));
  if (!writeFile(argv[1], project)) {
    std::fprintf(stderr, "%s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
