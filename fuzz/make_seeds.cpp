// Writes a small seed corpus for the fuzzers from the test generator.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "project_builder.h"

using namespace pulldex::testdata;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  std::vector<std::string> projects = {
      ivtcBlock(recordsFromPattern("KCKCCKCKCC")),
      noise(100, 1) + ivtcBlock(recordsFromPattern("--KCK", {3, 6})) + namedEntry("Audio.Gain", "12"),
      ivtcBlock({}),
      ivtcBlock(recordsFromPattern("K-K--K--K-K-K--K--K-", {0, 11, 16, 3, 6, 10, 200})),
      ivtcBlock({{0, 0, 0}}, {.typeTag = 9}),
      ivtcBlock({{0, 1, 0}, {5, 2, 7}, {3, 1, 0}}),
  };
  const std::string settings[] = {"0123456\r\n", "1?2", std::string(600, '1'), "abc"};
  // Text projects of every layout go to the load fuzzer whole; the text
  // fuzzer takes what stands after "{".
  const TextStyle styles[] = {
      {}, {.crlf = false}, {.freePascal = true, .crlf = false}, {.lowerCase = true}, {.nested = true}};
  std::vector<std::string> texts;
  for (const TextStyle& style : styles)
    for (const auto& records : {recordsFromPattern("KCKCCKCKCC", {3, 6}), recordsFromPattern("K")}) {
      const std::string text = textProject(ivtcValue(records), style);
      projects.push_back(text);
      const std::size_t open = text.find('{') + 1;
      texts.push_back(text.substr(open, text.find('}') - open + 1));
    }
  std::filesystem::create_directories(root / "project");
  std::filesystem::create_directories(root / "text");
  std::filesystem::create_directories(root / "sfs");
  std::filesystem::create_directories(root / "d2v");
  writeFile((root / "d2v" / "seed0").string(),
            "DGIndexProjectFile16\r\n2\r\nC:\\dvd\\VTS_01_1.VOB\r\nVTS_01_2.VOB\r\n\r\nStream_Type=1\r\n"
            "Field_Operation=0\r\nFrame_Rate=29970 (30000/1001)\r\n\r\n900 5 0 2048 0 0 0 b2 b3 a0 a1\r\n");
  writeFile((root / "d2v" / "seed1").string(), "DGIndexProjectFile16\n1\nmovie.m2v\nField_Operation=2\n");
  int n = 0;
  for (const std::string& p : projects) writeFile((root / "project" / ("seed" + std::to_string(n++))).string(), p);
  for (const std::string& t : texts) writeFile((root / "text" / ("seed" + std::to_string(n++))).string(), t);
  for (const std::string& s : settings) writeFile((root / "sfs" / ("seed" + std::to_string(n++))).string(), s);
  return 0;
}
