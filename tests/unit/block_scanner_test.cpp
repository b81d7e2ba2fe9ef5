#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string_view>
#include <vector>

#include "project/block_scanner.h"
#include "project/marker_search.h"
#include "project_builder.h"
#include "temp_dir.h"

namespace pulldex {
namespace {

using namespace testdata;

constexpr char kMarker[] = "Video.DeinterlaceEx.List";

class BlockScannerTest : public ::testing::Test {
 protected:
  // Opens a file of `bytes` and scans it.
  BlockScanner& scan(const std::string& bytes) {
    const std::string path = dir_.path("file" + std::to_string(files_++));
    EXPECT_TRUE(writeFile(path, bytes));
    EXPECT_TRUE(file_.open(path));
    scanner_ = std::make_unique<BlockScanner>(file_);
    return *scanner_;
  }

  testing::TempDir dir_;
  int files_ = 0;
  InputFile file_;
  std::unique_ptr<BlockScanner> scanner_;
};

TEST_F(BlockScannerTest, FindsTheFirstMarkerWherever) {
  struct Case {
    const char* what;
    std::size_t before;
    std::size_t after;
    std::int64_t expected;
  } cases[] = {
      {"at offset 0", 0, 100, 0},
      {"across the first window's end", 32760, 100, 32760},
      {"ending the file", 1000, 0, 1000},
      {"ending a file of exactly one window", 32768 - 24, 0, 32768 - 24},
      {"in the overlap of two passes", 16384 + 16380, 5000, 16384 + 16380},
      {"deep in a long file", 5 * 16384 + 77, 40000, 5 * 16384 + 77},
      // The window reaches the end of the scanner's buffer, and the bytes
      // not yet searched move to its front.
      {"across the end of the first buffer", BlockScanner::kBufferSize - 10, 100, BlockScanner::kBufferSize - 10},
      {"right behind the first buffer", BlockScanner::kBufferSize, 100, BlockScanner::kBufferSize},
      {"after several buffers", 3 * BlockScanner::kBufferSize + 16384 - 3, 1000,
       3 * BlockScanner::kBufferSize + 16384 - 3},
  };
  for (const Case& c : cases) {
    BlockScanner& s = scan(noise(c.before, 1) + kMarker + noise(c.after, 2));
    EXPECT_EQ(s.findMarker(kMarker), c.expected) << c.what;
    char first[24];
    EXPECT_EQ(s.readBytes(first, 24), 24) << c.what;
    EXPECT_EQ(std::memcmp(first, kMarker, 24), 0) << c.what;
  }
}

TEST_F(BlockScannerTest, ReportsMissingMarkers) {
  const std::string cases[] = {"",
                               "Video.Deinterlace",
                               noise(100000, 3),
                               noise(16400, 4),
                               std::string(32768, 'V'),
                               noise(40000, 5) + "Video.DeinterlaceEx.Lis"};
  for (const std::string& bytes : cases) {
    BlockScanner& s = scan(bytes);
    EXPECT_EQ(s.findMarker(kMarker), -1) << bytes.size() << " bytes";
    char buffer[8];
    EXPECT_EQ(s.readBytes(buffer, 8), 0) << "an exhausted scanner reads nothing";
  }
}

// Near misses that share the marker's first and last bytes, at every offset
// within a few 16-byte groups of the search, and across a pass boundary.
TEST_F(BlockScannerTest, NearMissesNeverHideOrFakeTheMarker) {
  const std::string misses[] = {"Video.DeinterlaceEx.Lis", "Video.DeinterlaceEx.Lisst", "VVideo.DeinterlaceEx.Lis"};
  for (const std::string& miss : misses) {
    std::string hay;
    while (hay.size() < 40000) hay += miss;
    EXPECT_EQ(scan(hay).findMarker(kMarker), -1) << miss;
    for (const std::size_t at : {0u, 1u, 15u, 16u, 17u, 31u, 33u, 47u, 16383u, 16390u, 32760u, 39976u}) {
      std::string bytes = hay;
      bytes.replace(at, 24, kMarker);
      EXPECT_EQ(scan(bytes).findMarker(kMarker), static_cast<std::int64_t>(bytes.find(kMarker))) << miss << " " << at;
    }
  }
}

TEST_F(BlockScannerTest, TwoMarkersGiveTheLowerOffset) {
  EXPECT_EQ(scan(noise(50000, 6) + kMarker + noise(10, 7) + kMarker).findMarker(kMarker), 50000);
}

TEST_F(BlockScannerTest, ReadsAfterAMarkerEndingTheFileComeShort) {
  BlockScanner& s = scan(noise(300, 8) + kMarker);
  ASSERT_EQ(s.findMarker(kMarker), 300);
  char header[37];
  EXPECT_EQ(s.readBytes(header, 37), 24);
  EXPECT_EQ(s.readBytes(header, 37), 0);
}

TEST_F(BlockScannerTest, ReadsAcrossManyWindows) {
  const std::string tail = noise(200000, 9) + noise(2 * BlockScanner::kBufferSize, 11);
  BlockScanner& s = scan(noise(20000, 10) + kMarker + tail);
  ASSERT_EQ(s.findMarker(kMarker), 20000);
  std::vector<char> got(100000);
  ASSERT_EQ(s.readBytes(got.data(), 100000), 100000);
  EXPECT_EQ(std::string(got.data(), 100000), (kMarker + tail).substr(0, 100000));
  // What is left, up to the end of the file.
  std::vector<char> rest(tail.size());
  ASSERT_EQ(s.readBytes(rest.data(), static_cast<std::int32_t>(tail.size())),
            static_cast<std::int32_t>(24 + tail.size() - 100000));
  EXPECT_EQ(std::string(rest.data(), 24 + tail.size() - 100000), (kMarker + tail).substr(100000));
  EXPECT_EQ(s.readBytes(rest.data(), 10), 0);
}

TEST_F(BlockScannerTest, CountsOfZeroOrLessReadNothing) {
  BlockScanner& s = scan(std::string(kMarker) + "abc");
  ASSERT_EQ(s.findMarker(kMarker), 0);
  char buffer[30];
  EXPECT_EQ(s.readBytes(buffer, 0), 0);
  EXPECT_EQ(s.readBytes(buffer, -5), 0);
  EXPECT_EQ(s.readBytes(buffer, 30), 27) << "nothing was consumed before";
}

// Every version of the window search against std::string_view::find, on
// haystacks of few letters, so that partial matches abound, with markers of
// one byte to longer than a vector. Each haystack is a heap block of its exact
// size, so that a read past its end shows under AddressSanitizer.
TEST(MarkerSearch, EveryVersionFindsWhatFindFinds) {
  std::mt19937 random(20261209);
  const std::string letters = "Vidt";
  const auto text = [&](std::size_t n) {
    std::string s(n, ' ');
    for (char& c : s) c = letters[random() % letters.size()];
    return s;
  };
  ASSERT_FALSE(markerSearches().empty());
  for (const MarkerSearch& version : markerSearches()) {
    for (int round = 0; round < 3000; ++round) {
      const std::string marker = round % 50 == 0 ? std::string(kMarker) : text(1 + random() % 40);
      std::string hay = text(random() % 300);
      // Often the marker itself, anywhere, or cut short at the end.
      if (round % 3 == 0) hay.insert(random() % (hay.size() + 1), marker);
      if (round % 7 == 0) hay += marker.substr(0, marker.size() - 1);
      const auto bytes = std::make_unique<std::uint8_t[]>(hay.size());
      std::memcpy(bytes.get(), hay.data(), hay.size());
      const std::size_t expected = std::string_view(hay).find(marker);
      const std::int32_t got = version.find(reinterpret_cast<const std::uint8_t*>(marker.data()), marker.size(),
                                            bytes.get(), static_cast<std::int32_t>(hay.size()));
      ASSERT_EQ(got, expected == std::string_view::npos ? -1 : static_cast<std::int32_t>(expected))
          << version.name << ": \"" << marker << "\" in \"" << hay << "\"";
    }
  }
}

}  // namespace
}  // namespace pulldex
