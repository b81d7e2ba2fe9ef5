// The command line's contract, run in process: what each command may write,
// standard output, JSON, messages and exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "cli/cli.h"
#include "project_builder.h"
#include "run_cli.h"
#include "temp_dir.h"

namespace pulldex::cli {
namespace {

using namespace testdata;

// A document the commands wrote, parsed; a parse error fails the test.
struct Json {
  explicit Json(const std::string& text) {
    d.Parse(text.c_str());
    EXPECT_FALSE(d.HasParseError()) << text;
    if (d.HasParseError()) d.SetArray();
  }
  rapidjson::Document d;
};

using Result = testing::CliResult;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = noise(500, 3) + ivtcBlock(recordsFromPattern("KCKCCKCKCCKCKCC", {3, 6})) + noise(200, 4);
    ASSERT_TRUE(writeFile(path("a.tpr"), bytes_));
    ASSERT_TRUE(writeFile(path("b.tpr"), bytes_));
  }
  std::string path(const std::string& name) const { return dir_.path(name); }
  Result run(std::vector<std::string> args, bool full = false) { return testing::runCli(std::move(args), full); }
  bool untouched(const std::string& name) const { return readFile(path(name)) == bytes_; }

  std::string bytes_;
  testing::TempDir dir_;
};

TEST_F(CliTest, NoOptionTakesAProjectForItsValue) {
  const Result both = run({"report", "--html", path("a.tpr"), path("b.tpr")});
  EXPECT_EQ(both.status, kOk) << both.err;
  EXPECT_TRUE(untouched("a.tpr") && untouched("b.tpr"));
  EXPECT_TRUE(std::filesystem::exists(path("a.report.html")));
  EXPECT_TRUE(std::filesystem::exists(path("b.report.html")));

  const Result named = run({"report", "--html=" + path("a.tpr"), path("a.tpr")});
  EXPECT_EQ(named.status, kUsage);
  EXPECT_NE(named.err.find("this is the project itself; add --force"), std::string::npos) << named.err;
  EXPECT_TRUE(untouched("a.tpr"));
}

TEST_F(CliTest, EveryWritingCommandTakesForce) {
  // Each command's output for a.tpr lands on d/NAME, a project of the run too.
  std::filesystem::create_directory(path("d"));
  const std::pair<const char*, const char*> commands[] = {
      {"asc", "a.asc"},           {"sfs", "a.sfs"},
      {"frames", "a.frames.txt"}, {"timestamps", "a.timestamps.txt"},
      {"strip", "a.nocopy.tpr"},  {"report", "a.report.html"}};
  for (const auto& [command, name] : commands) {
    const std::string taken = path("d/") + name;
    ASSERT_TRUE(writeFile(taken, bytes_));
    std::vector<std::string> args = {command, "--output-dir", path("d"), path("a.tpr"), taken};
    if (std::string(command) == "report") args.push_back("--html");
    const Result refused = run(args);
    EXPECT_EQ(refused.status, kUsage) << command;
    EXPECT_NE(refused.err.find(taken + ": Error, this is the project itself; add --force"), std::string::npos)
        << command << ": " << refused.err;
    EXPECT_EQ(readFile(taken), bytes_) << command;
    args.push_back("--force");
    // (Replaced first, the second project is no project any more when its turn comes.)
    const Result forced = run(args);
    EXPECT_EQ(forced.err.find("project itself"), std::string::npos) << command << ": " << forced.err;
    EXPECT_NE(readFile(taken), bytes_) << command;
  }
  // A file that is no project of the run is an output like any other, and
  // the project itself strips in place without --force.
  EXPECT_EQ(run({"asc", path("a.tpr"), "-o", path("b.tpr")}).status, kOk);
  EXPECT_EQ(run({"strip", path("a.tpr"), "-o", path("a.tpr")}).status, kOk);
  EXPECT_FALSE(untouched("a.tpr"));
}

TEST_F(CliTest, AFailedStandardOutputIsAFailure) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"info", path("a.tpr")},
                                                                                    {"info", "--json", path("a.tpr")},
                                                                                    {"report", path("a.tpr")},
                                                                                    {"report", "--json", path("a.tpr")},
                                                                                    {"asc", path("a.tpr"), "-o", "-"},
                                                                                    {"--help"}}) {
    const Result r = run(args, true);
    EXPECT_EQ(r.status, kFailed) << args[0];
    EXPECT_EQ(r.err.rfind("pulldex-cli: standard output: Error in writing the file (", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("standard output", 40), std::string::npos) << "told once: " << r.err;
  }
}

TEST_F(CliTest, JsonIsAlwaysAnArray) {
  for (const char* command : {"info", "report"}) {
    const Result one = run({command, "--json", path("a.tpr")});
    ASSERT_EQ(one.status, kOk);
    EXPECT_EQ(one.out.substr(one.out.size() - 2), "]\n") << command;
    EXPECT_EQ(Json(one.out).d.Size(), 1u) << command;
    const Result two = run({command, "--json", path("a.tpr"), path("missing.tpr"), path("b.tpr")});
    EXPECT_EQ(two.status, kFailed);
    EXPECT_EQ(Json(two.out).d.Size(), 2u) << command;
  }
}

TEST_F(CliTest, WhereOutputsGo) {
  std::filesystem::create_directory(path("out"));
  EXPECT_EQ(run({"asc", "--output-dir", path("out"), path("a.tpr"), path("b.tpr")}).status, kOk);
  EXPECT_TRUE(std::filesystem::exists(path("out/a.asc")) && std::filesystem::exists(path("out/b.asc")));
  EXPECT_EQ(run({"report", "--html", "--output-dir", path("out"), path("a.tpr")}).status, kOk);
  EXPECT_TRUE(std::filesystem::exists(path("out/a.report.html")));

  // A project from standard input has no name to put an output beside.
  for (const char* command : {"asc", "strip", "sfs", "frames", "timestamps"}) {
    const Result r = run({command, "-"});
    EXPECT_EQ(r.status, kUsage) << command;
    EXPECT_NE(r.err.find("needs -o"), std::string::npos) << r.err;
  }
  EXPECT_EQ(run({"report", "--html", "-"}).status, kUsage);
  EXPECT_FALSE(std::filesystem::exists("-.asc"));
  EXPECT_EQ(run({"asc", "-o", path("x.asc"), "--output-dir", path("out"), path("a.tpr")}).status, kUsage);
}

// Nothing the run reads is replaced without --force, and two outputs of a
// run never share a file, --force or not: refused before either is written.
TEST_F(CliTest, NoOutputReplacesAnInputOrAnotherOutput) {
  ASSERT_TRUE(writeFile(path("edited.sfs"), "101001010010100"));
  const Result onto = run({"asc", "--sfs", path("edited.sfs"), "-o", path("edited.sfs"), path("a.tpr")});
  EXPECT_EQ(onto.status, kUsage);
  EXPECT_NE(onto.err.find(path("edited.sfs") + ": Error, this file is read by the run; add --force"), std::string::npos)
      << onto.err;
  EXPECT_EQ(readFile(path("edited.sfs")), "101001010010100");
  // The default name of sfs is the input's own.
  ASSERT_TRUE(writeFile(path("a.sfs"), "101001010010100"));
  EXPECT_EQ(run({"sfs", "--sfs", path("a.sfs"), path("a.tpr")}).status, kUsage);
  EXPECT_EQ(run({"asc", "--sfs", path("edited.sfs"), "-o", path("edited.sfs"), "--force", path("a.tpr")}).status, kOk);
  EXPECT_EQ(readFile(path("edited.sfs")).substr(0, 3), "0a\t");

  std::filesystem::create_directories(path("x"));
  std::filesystem::create_directories(path("y"));
  std::filesystem::create_directories(path("out"));
  ASSERT_TRUE(writeFile(path("x/movie.tpr"), bytes_));
  ASSERT_TRUE(writeFile(path("y/movie.tpr"), bytes_));
  for (const char* command : {"asc", "strip", "sfs", "frames", "timestamps", "script", "report"})
    for (const bool force : {false, true}) {
      std::vector<std::string> args = {command, "--output-dir", path("out"), path("x/movie.tpr"), path("y/movie.tpr")};
      if (std::string(command) == "report") args.push_back("--html");
      if (force) args.push_back("--force");
      const Result r = run(args);
      EXPECT_EQ(r.status, kUsage) << command;
      EXPECT_NE(r.err.find("Error, two outputs of the run would go to this file (from " + path("x/movie.tpr") +
                           " and " + path("y/movie.tpr") + ")"),
                std::string::npos)
          << command << ": " << r.err;
      EXPECT_EQ(r.out, "") << command;
      EXPECT_TRUE(std::filesystem::is_empty(path("out"))) << command << ": nothing is written";
    }
}

// Every kept entry makes a frame, the one on the list's last field too, so
// that stripping a list (which ends it at its last kept entry) changes no
// export. A list that keeps nothing gives no script and no timestamps.
TEST_F(CliTest, ExportsEndWhereTheVideoEnds) {
  ASSERT_TRUE(writeFile(path("end.tpr"), ivtcBlock(recordsFromPattern("KCKCCKCKCCKCKCCKCKCC"))));
  ASSERT_EQ(run({"strip", path("end.tpr"), "-o", path("stripped.tpr")}).status, kOk);
  for (const char* project : {"end.tpr", "stripped.tpr"}) {
    const Result frames = run({"frames", path(project), "-o", "-"});
    EXPECT_EQ(frames.out.substr(frames.out.find('\n') + 1), "0\n2\n5\n7\n10\n12\n15\n17\n") << project;
    const Result timestamps = run({"timestamps", path(project), "-o", "-"});
    EXPECT_EQ(std::count(timestamps.out.begin(), timestamps.out.end(), '\n'), 9) << project;
    const Json info(run({"info", "--json", path(project)}).out);
    EXPECT_TRUE(info.d[0u]["leftOut"].IsNull());
    EXPECT_EQ(info.d[0u]["outputFrames"].GetInt(), 8);
  }

  for (const char* pattern : {"CC-C", "CCCC"}) {
    ASSERT_TRUE(writeFile(path("none.tpr"), ivtcBlock(recordsFromPattern(pattern))));
    for (const char* command : {"timestamps", "script"}) {
      const Result r = run({command, path("none.tpr")});
      EXPECT_EQ(r.status, kFailed) << command;
      EXPECT_NE(r.err.find("none.tpr: Error, the list keeps no frame"), std::string::npos) << r.err;
    }
    EXPECT_EQ(run({"frames", path("none.tpr"), "-o", "-"}).out.find("\n"),
              run({"frames", path("none.tpr"), "-o", "-"}).out.size() - 1)
        << "only the comment line";
  }
  EXPECT_FALSE(std::filesystem::exists(path("none.timestamps.txt")) ||
               std::filesystem::exists(path("none.ffmpeg.txt")));

  ASSERT_TRUE(writeFile(path("one.tpr"), ivtcBlock(recordsFromPattern("KC"))));
  EXPECT_NE(run({"info", path("one.tpr")}).out.find("2 (1 frame)"), std::string::npos) << "one frame, not 1 frames";

  // info counts the list as the project stores it, whatever the load moved.
  ASSERT_TRUE(writeFile(path("moved.tpr"), ivtcBlock(recordsFromPattern("C--KC-K"))));
  const Json moved(run({"info", "--json", path("moved.tpr")}).out);
  EXPECT_EQ(moved.d[0u]["copy"].GetInt(), 2);
  EXPECT_EQ(moved.d[0u]["unlisted"].GetInt(), 3);
  EXPECT_EQ(moved.d[0u]["normalisedFrom"].GetInt(), 3);

  // One document for one output.
  EXPECT_EQ(run({"report", "--json", "--html=-", path("a.tpr")}).status, kUsage);
}

TEST_F(CliTest, TheExitStatusIsTheWorstOverAllProjects) {
  // a.tpr's script would land on b.asc, which is a project of the run too (2);
  // missing.tpr cannot be read (1).
  std::filesystem::create_directory(path("d"));
  ASSERT_TRUE(writeFile(path("d/a.asc"), bytes_));
  const Result r = run({"asc", "--output-dir", path("d"), path("a.tpr"), path("d/a.asc"), path("missing.tpr")});
  EXPECT_EQ(r.status, kUsage) << r.err;
  EXPECT_NE(r.err.find("missing.tpr: Error in opening the file"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(path("d/a.asc")), bytes_);
  EXPECT_TRUE(std::filesystem::exists(path("d/a.asc.asc")));
  EXPECT_EQ(run({"info", path("a.tpr"), path("missing.tpr")}).status, kFailed);
}

TEST_F(CliTest, LikelyMistakesWithSfsAreToldButImported) {
  const struct {
    std::string content, warning, out;
  } cases[] = {
      {"", "x.sfs: the file is empty; the project's list is used", "404005050040400"},
      {"10100", "x.sfs: 5 entries, the project has 15", "10100"},
      {"101001010010100\n", "x.sfs: 16 entries, the project has 15", "101001010010100"},
      {"10x10", "x.sfs: byte 2 is not a frame setting", "1010"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(writeFile(path("x.sfs"), c.content));
    const Result r = run({"sfs", "--sfs", path("x.sfs"), path("a.tpr"), "-o", "-"});
    EXPECT_EQ(r.status, kOk);
    EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
  }
  ASSERT_TRUE(writeFile(path("x.sfs"), "101001010010100"));
  EXPECT_EQ(run({"sfs", "--sfs", path("x.sfs"), path("a.tpr"), "-o", "-"}).err, "") << "a fitting file says nothing";
}

// The AVI script starts at "0a", as ever; lists for other tools keep the
// first kept entry where the project has it.
TEST_F(CliTest, ExportsForOtherToolsUseTheListAsStored) {
  ASSERT_TRUE(writeFile(path("late.tpr"), ivtcBlock(recordsFromPattern("---KC-K"))));
  const Result frames = run({"frames", path("late.tpr"), "-o", "-"});
  EXPECT_EQ(frames.out.substr(frames.out.find('\n') + 1), "3\n6\n");
  EXPECT_EQ(run({"timestamps", path("late.tpr"), "-o", "-"}).out, "# timestamp format v2\n50.050000\n100.100000\n");
  EXPECT_EQ(run({"asc", path("late.tpr"), "-o", "-"}).out.substr(0, 3), "0a\t");
  // The report's sections are the script's lines, and it says why they start at 0a.
  EXPECT_NE(
      run({"report", path("late.tpr")}).out.find("its first kept entry, 3 (1b) in the project, is moved to entry 0"),
      std::string::npos);
  EXPECT_EQ(Json(run({"report", "--json", path("late.tpr")}).out).d[0u]["summary"]["normalisedFrom"].GetInt(), 3);
  EXPECT_TRUE(Json(run({"report", "--json", path("a.tpr")}).out).d[0u]["summary"]["normalisedFrom"].IsNull());
}

TEST_F(CliTest, HelpAndMessagesAUserCanActOn) {
  const Result unknown = run({"frobnicate", path("a.tpr")});
  EXPECT_EQ(unknown.status, kUsage);
  EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos) << unknown.err;

  const Result info = run({"info", "--help"});
  EXPECT_EQ(info.status, kOk);
  EXPECT_EQ(info.out.find("movie.asc"), std::string::npos) << "info writes no files";
  EXPECT_EQ(info.out.find("--force"), std::string::npos);
  const Result asc = run({"asc", "--help"});
  EXPECT_NE(asc.out.find("movie.tpr -> movie.asc"), std::string::npos);
  EXPECT_EQ(asc.out.find("movie.sfs"), std::string::npos);
  const Result timestamps = run({"timestamps", "--help"});
  for (const char* type : {"FILE", "DIR", "NUM/DEN"}) EXPECT_NE(timestamps.out.find(type), std::string::npos) << type;
  for (const char* command : {"info", "report", "asc", "strip", "sfs", "frames", "timestamps"})
    EXPECT_EQ(run({command, "--help"}).out.find("TEXT"), std::string::npos) << command;
}

}  // namespace
}  // namespace pulldex::cli
