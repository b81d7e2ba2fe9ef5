// Projects saved as text: read in every writer's layout, stripped in the
// Delphi writer's, and the same results as the binary form everywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "cli/cli.h"
#include "project/ivtc_block.h"
#include "project/project.h"
#include "project/text_form.h"
#include "project_builder.h"
#include "run_cli.h"
#include "temp_dir.h"

namespace pulldex {
namespace {

using namespace testdata;

const TextStyle kStyles[] = {
    {},                                         // Delphi, CR LF
    {.crlf = false},                            // Delphi, LF
    {.freePascal = true, .crlf = false},        // Free Pascal, LF
    {.freePascal = true},                       // Free Pascal, CR LF
    {.lowerCase = true},                        // lower-case digits
    {.nested = true},                           // inside a child object
    {.freePascal = true, .nested = true},
};

std::string describe(const TextStyle& s) {
  return std::string(s.freePascal ? "Free Pascal" : "Delphi") + (s.crlf ? " CRLF" : " LF") +
         (s.lowerCase ? " lower" : "") + (s.nested ? " nested" : "");
}

class TextFormTest : public ::testing::Test {
 protected:
  Project load(const std::string& name, const std::string& bytes, Error expected = Error::None) {
    EXPECT_TRUE(writeFile(dir_.path(name), bytes));
    Project p;
    EXPECT_EQ(p.load(dir_.path(name)).error, expected) << name;
    return p;
  }
  testing::TempDir dir_;
};

TEST(TextFormDetection, ObjectAfterAnOptionalMarkAndBlanks) {
  const std::pair<std::string, bool> cases[] = {
      {"object TMPEGEncodeJobFile\r\n", true}, {"OBJECT x\n", true},     {"\xef\xbb\xbf  \r\n\tObject\tX", true},
      {"objection\n", false},                  {"TPF0\x12TMPEG", false}, {"object", false},
      {" \xef\xbb\xbfobject x", false},        {"", false},
  };
  for (const auto& [head, text] : cases)
    EXPECT_EQ(isTextForm(reinterpret_cast<const std::uint8_t*>(head.data()), head.size()), text) << head;
}

TEST_F(TextFormTest, EveryLayoutLoadsAsItsBinaryForm) {
  const std::vector<Record> lists[] = {
      recordsFromPattern("--KCKKCKCKKCCKKC", {3, 6, 11}),  // 14 lines' worth of digits and a short last one
      recordsFromPattern("KC", {16}),                     // 20 bytes: under 32, on the property's own line
      {},                                                 // 8 bytes
  };
  for (const auto& records : lists) {
    const Project binary = load("binary.tpr", noise(50, 1) + ivtcBlock(records) + noise(50, 2));
    for (const TextStyle& style : kStyles) {
      const Project text = load("text.tpr", textProject(ivtcValue(records), style));
      EXPECT_EQ(text.block().form, ProjectForm::Text) << describe(style);
      EXPECT_EQ(text.list(), binary.list()) << describe(style) << ", " << records.size() << " records";
    }
  }
  EXPECT_EQ(load("b.tpr", ivtcBlock({})).block().form, ProjectForm::Binary);
}

TEST_F(TextFormTest, BrokenValuesAreRefusedAsTheBinaryFormsAre) {
  const std::string value = ivtcValue(recordsFromPattern("KCK"));
  const std::string good = textProject(value);
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string bytes = good;
    bytes.replace(bytes.find(from), from.size(), to);
    return bytes;
  };
  const std::string hex = good.substr(good.find('{') + 1, good.find('}') - good.find('{') - 1);
  const struct {
    const char* what;
    std::string bytes;
    Error error;
  } cases[] = {
      {"a character that is no digit", replaced("06000000", "06G00000"), Error::FileFormat},
      {"a blank inside a pair", replaced("06000000", "0 6000000"), Error::FileFormat},
      {"an odd number of digits", replaced(hex + "}", hex.substr(0, hex.size() - 1) + "}"), Error::FileFormat},
      {"no brace after the equals sign", replaced("= {", "= ("), Error::FileFormat},
      {"no equals sign", replaced("= {", "{"), Error::FileFormat},
      {"a record size other than 6", replaced("06000000", "07000000"), Error::FileFormat},
      {"records cut short", replaced(hex + "}", hex.substr(0, hex.size() - 2) + "}"), Error::FileFormat},
      {"the file ends before the brace", good.substr(0, good.find('}')), Error::ReadFile},
      {"the file ends inside a pair", good.substr(0, good.find('}') - 1), Error::ReadFile},
      // A value that ends at its brace too soon is a broken value, not a short read.
      {"fewer than 8 bytes", "object X\n  Video.DeinterlaceEx.List = {06000000}\nend\n", Error::FileFormat},
      {"two bytes", "object X\n  Video.DeinterlaceEx.List = {0600}\nend\n", Error::FileFormat},
      {"no property", "object X\n  Video.Source = 'movie.avi'\nend\n", Error::NoIvtcBlock},
      {"a frame past the limit", textProject(ivtcValue({{16777216, 0, 0}})), Error::FileFormat},
  };
  Project earlier = load("earlier.tpr", good);
  for (const auto& c : cases) {
    Project p = load("broken.tpr", c.bytes, c.error);
    EXPECT_FALSE(p.loaded()) << c.what;
  }
  EXPECT_EQ(dir_.fileCount(), 2u) << "nothing written";
}

// The same random lists in both forms: every command gives the same bytes.
TEST_F(TextFormTest, EveryCommandGivesTheSameResultsForBothForms) {
  std::mt19937 random(7);
  for (int round = 0; round < 6; ++round) {
    std::string pattern;
    const int n = 1 + static_cast<int>(random() % 3000);
    for (int i = 0; i < n; ++i) pattern += "KKC--"[random() % 5];
    const auto records = recordsFromPattern(pattern, {0, 3, 6, 10, 11, 16, 99});
    std::filesystem::create_directories(dir_.path("b"));
    std::filesystem::create_directories(dir_.path("t"));
    ASSERT_TRUE(writeFile(dir_.path("b/movie.tpr"), noise(300, 3) + ivtcBlock(records) + noise(300, 4)));
    ASSERT_TRUE(writeFile(dir_.path("t/movie.tpr"), textProject(ivtcValue(records), kStyles[round % 7])));
    const std::vector<std::vector<std::string>> commands = {
        {"asc"}, {"sfs"}, {"frames"}, {"frames", "--dropped"}, {"timestamps"}, {"report", "--json"}, {"info", "--json"}};
    for (const auto& command : commands) {
      std::string results[2];
      for (int form = 0; form < 2; ++form) {
        std::vector<std::string> args(command.begin(), command.end());
        if (command[0] != "report" && command[0] != "info") args.insert(args.end(), {"-o", "-"});
        args.push_back("movie.tpr");
        const std::filesystem::path before = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path(form ? "t" : "b"));
        const testing::CliResult r = testing::runCli(args);
        EXPECT_EQ(r.status, cli::kOk) << r.err;
        std::filesystem::current_path(before);
        results[form] = r.out;
      }
      if (command[0] == "info") {
        // Which form it is, and nothing else, differs.
        const auto at = results[1].find("\"form\":\"text\"");
        ASSERT_NE(at, std::string::npos) << results[1];
        results[1].replace(at, 13, "\"form\":\"binary\"");
      }
      EXPECT_EQ(results[0], results[1]) << command[0] << " in round " << round;
    }
  }
}

TEST_F(TextFormTest, AStripWritesTheValueInDelphisLayoutAndLeavesTheRest) {
  const auto records = recordsFromPattern("KCKCCKKCKCCKCKKCCKCKC", {3, 6, 11});
  const Project binary = load("binary.tpr", ivtcBlock(records));
  Project binaryCopy = load("binary.tpr", ivtcBlock(records));
  ASSERT_TRUE(writeWithoutCopyFrames(binaryCopy, {.path = dir_.path("binary.out.tpr")}).ok());
  const std::string stripped = readFile(dir_.path("binary.out.tpr")).substr(29);

  for (const TextStyle& style : kStyles) {
    const std::string source = textProject(ivtcValue(records), style);
    Project text = load("text.tpr", source);
    ASSERT_TRUE(writeWithoutCopyFrames(text, {.path = dir_.path("text.out.tpr")}).ok()) << describe(style);
    const std::string out = readFile(dir_.path("text.out.tpr"));
    // Up to "{" and from "}" on, the source's bytes; between them, the value
    // as the Delphi writer puts it, with the source's line ends and indent.
    TextStyle delphi = style;
    delphi.freePascal = false;
    delphi.lowerCase = false;
    const std::string expected = textProject(stripped, delphi);
    const std::size_t open = source.find('{'), close = source.find('}');
    EXPECT_EQ(out.substr(0, open + 1), source.substr(0, open + 1)) << describe(style);
    EXPECT_EQ(out.substr(out.find('}')), source.substr(close)) << describe(style);
    EXPECT_EQ(out.substr(open, out.find('}') - open),
              expected.substr(expected.find('{'), expected.find('}') - expected.find('{')))
        << describe(style);
    // And it loads back to what the binary strip loads back to.
    EXPECT_EQ(load("text.out.tpr", out).list(), load("binary.out.tpr", readFile(dir_.path("binary.out.tpr"))).list());
  }
  (void)binary;
}

TEST_F(TextFormTest, InPlaceAgainAndAgain) {
  const std::string source = textProject(ivtcValue(recordsFromPattern("KCKKCKCCKKKCKCKKCCK", {6})), {.nested = true});
  Project p = load("movie.tpr", source);
  const Destination inPlace{.path = dir_.path("movie.tpr"), .inPlace = true};
  ASSERT_TRUE(writeWithoutCopyFrames(p, inPlace).ok());
  const std::string once = readFile(dir_.path("movie.tpr"));
  p.release();
  // Its own save, in place again and to another name, from the same list.
  ASSERT_TRUE(writeWithoutCopyFrames(p, inPlace).ok());
  ASSERT_TRUE(writeWithoutCopyFrames(p, {.path = dir_.path("other.tpr")}).ok());
  EXPECT_EQ(readFile(dir_.path("movie.tpr")), once);
  EXPECT_EQ(readFile(dir_.path("other.tpr")), once);
  EXPECT_EQ(dir_.fileCount(), 2u);
}

}  // namespace
}  // namespace pulldex
