// Stands in for ffmpeg where the real one cannot run (under Wine), so that
// the program's side of the pipe is tested on every platform: it writes the
// file named after -i ("file:" before it taken off) to its standard output
// as it is. A file that starts with "FAIL " makes it say the rest of that
// line on standard error and exit with 1, as ffmpeg does when it cannot
// read a video. Where PULLDEX_FAKE_FFMPEG_LOG names a file, each start adds
// a line to it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const char* input = nullptr;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "-i") == 0) input = argv[i + 1];
  if (input && std::strncmp(input, "file:", 5) == 0) input += 5;
  if (const char* log = std::getenv("PULLDEX_FAKE_FFMPEG_LOG"); log && *log)
    if (std::FILE* f = std::fopen(log, "a")) {
      std::fprintf(f, "%s\n", input ? input : "");
      std::fclose(f);
    }
  std::FILE* in = input ? std::fopen(input, "rb") : nullptr;
  if (!in) {
    std::fprintf(stderr, "%s: No such file or directory\n", input ? input : "(no input)");
    return 1;
  }
  char buffer[1 << 16];
  std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
  if (n >= 5 && std::memcmp(buffer, "FAIL ", 5) == 0) {
    const char* end = static_cast<const char*>(std::memchr(buffer, '\n', n));
    std::fprintf(stderr, "%.*s\n", static_cast<int>((end ? end - buffer : static_cast<long>(n)) - 5), buffer + 5);
    return 1;
  }
  for (; n > 0; n = std::fread(buffer, 1, sizeof buffer, in))
    if (std::fwrite(buffer, 1, n, stdout) != n) return 1;
  return 0;
}
