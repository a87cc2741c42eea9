// Replays fuzz inputs through a target's LLVMFuzzerTestOneInput without libFuzzer, so that
// every build runs the seed corpus and the regression inputs as an ordinary test. Arguments
// are files or folders (read recursively); a missing folder counts as empty. Prints how many
// inputs ran and the slowest of them; fails when there was nothing to replay.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

struct Slowest {
  double milliseconds = 0;
  fs::path file;
};

void Replay(fs::path const& file, Slowest& slowest) {
  std::ifstream stream(file, std::ios::binary);
  std::vector<char> const bytes((std::istreambuf_iterator<char>(stream)),
                                std::istreambuf_iterator<char>());
  std::vector<std::uint8_t> const input(bytes.begin(), bytes.end());
  // A copy of exactly the file's size, so that a read past the end is caught by ASan.
  auto const start = std::chrono::steady_clock::now();
  LLVMFuzzerTestOneInput(input.data(), input.size());
  std::chrono::duration<double, std::milli> const took = std::chrono::steady_clock::now() - start;
  if (took.count() >= slowest.milliseconds) slowest = {took.count(), file};
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  Slowest slowest;
  for (int i = 1; i < argc; ++i) {
    fs::path const path(argv[i]);
    if (fs::is_regular_file(path)) {
      Replay(path, slowest);
      ++count;
      continue;
    }
    if (!fs::is_directory(path)) continue;
    std::vector<fs::path> files;
    for (auto const& entry : fs::recursive_directory_iterator(path)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (auto const& file : files) {
      Replay(file, slowest);
      ++count;
    }
  }
  std::printf("replayed %zu inputs; slowest %.1f ms: %s\n", count, slowest.milliseconds,
              slowest.file.string().c_str());
  return count == 0 ? 1 : 0;
}
