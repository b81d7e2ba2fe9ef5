// The command line's contract, run in process: what each command may write,
// standard output, JSON, messages and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "project_builder.h"
#include "temp_dir.h"

namespace pulldex::cli {
namespace {

using namespace testdata;

// Standard output in memory; `full` makes every write fail, as /dev/full does.
class MemoryOutput final : public StandardOutput {
 public:
  explicit MemoryOutput(bool full = false) : full_(full) {}
  bool write(const void* data, std::size_t n) override {
    if (full_ && n > 0) failed_ = true;
    if (!failed_) text.append(static_cast<const char*>(data), n);
    return !failed_;
  }
  using Sink::write;
  int error() const override { return failed_ ? 28 : 0; }
  bool finish() override { return !failed_; }
  std::string text;

 private:
  bool full_;
  bool failed_ = false;
};

struct Result {
  int status;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = noise(500, 3) + ivtcBlock(recordsFromPattern("KCKCCKCKCCKCKCC", {3, 6})) + noise(200, 4);
    ASSERT_TRUE(writeFile(path("a.tpr"), bytes_));
    ASSERT_TRUE(writeFile(path("b.tpr"), bytes_));
  }
  std::string path(const std::string& name) const { return dir_.path(name); }
  Result run(std::vector<std::string> args, bool full = false) {
    args.insert(args.begin(), "pulldex-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    MemoryOutput out(full);
    std::ostringstream err;
    const int status = cli::run(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.text, err.str()};
  }
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
      {"asc", "a.asc"},         {"sfs", "a.sfs"},       {"frames", "a.frames.txt"}, {"timestamps", "a.timestamps.txt"},
      {"strip", "a.nocopy.tpr"}, {"report", "a.report.html"}};
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
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"info", path("a.tpr")},
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
    EXPECT_EQ(one.out.front(), '[') << command;
    EXPECT_EQ(one.out.substr(one.out.size() - 2), "]\n") << command;
    EXPECT_EQ(one.out.find("},\n {"), std::string::npos) << "one object: " << command;
    const Result two = run({command, "--json", path("a.tpr"), path("b.tpr")});
    EXPECT_NE(two.out.find("},\n {"), std::string::npos) << "two objects: " << command;
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
  EXPECT_EQ(run({"timestamps", path("late.tpr"), "-o", "-"}).out,
            "# timestamp format v2\n50.050000\n100.100000\n");
  EXPECT_EQ(run({"asc", path("late.tpr"), "-o", "-"}).out.substr(0, 3), "0a\t");
  // The report's sections are the script's lines, and it says why they start at 0a.
  EXPECT_NE(run({"report", path("late.tpr")}).out.find("its first kept entry, 3 (1b) in the project, is moved to entry 0"),
            std::string::npos);
  EXPECT_NE(run({"report", "--json", path("late.tpr")}).out.find("\"normalisedFrom\": 3"), std::string::npos);
  EXPECT_NE(run({"report", "--json", path("a.tpr")}).out.find("\"normalisedFrom\": null"), std::string::npos);
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
  for (const char* type : {"FILE", "DIR", "NUM/DEN"})
    EXPECT_NE(timestamps.out.find(type), std::string::npos) << type;
  for (const char* command : {"info", "report", "asc", "strip", "sfs", "frames", "timestamps"})
    EXPECT_EQ(run({command, "--help"}).out.find("TEXT"), std::string::npos) << command;
}

}  // namespace
}  // namespace pulldex::cli
