// Replays fuzz inputs through a target's LLVMFuzzerTestOneInput without libFuzzer, so that
// every build runs the seed corpus and the regression inputs as an ordinary test. Arguments
// are files or folders (read recursively); a missing folder counts as empty. Prints how many
// inputs ran and the slowest of them; fails when there was nothing to replay. The first input
// runs once more before the timed runs: the first call of a target sets up what every call
// shares (definitions, catalogues), which is no input's own time.
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

std::vector<std::uint8_t> Read(fs::path const& file) {
  std::ifstream stream(file, std::ios::binary);
  std::vector<char> const bytes((std::istreambuf_iterator<char>(stream)),
                                std::istreambuf_iterator<char>());
  // A copy of exactly the file's size, so that a read past the end is caught by ASan.
  return {bytes.begin(), bytes.end()};
}

void Replay(fs::path const& file, Slowest& slowest) {
  std::vector<std::uint8_t> const input = Read(file);
  auto const start = std::chrono::steady_clock::now();
  LLVMFuzzerTestOneInput(input.data(), input.size());
  std::chrono::duration<double, std::milli> const took = std::chrono::steady_clock::now() - start;
  if (took.count() >= slowest.milliseconds) slowest = {took.count(), file};
}

// The files named by the arguments, each folder's in name order.
std::vector<fs::path> Inputs(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    fs::path const path(argv[i]);
    if (fs::is_regular_file(path)) inputs.push_back(path);
    if (!fs::is_directory(path)) continue;
    std::vector<fs::path> files;
    for (auto const& entry : fs::recursive_directory_iterator(path)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    inputs.insert(inputs.end(), files.begin(), files.end());
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> const inputs = Inputs(argc, argv);
  if (inputs.empty()) {
    std::printf("replayed 0 inputs\n");
    return 1;
  }
  std::vector<std::uint8_t> const first = Read(inputs.front());
  LLVMFuzzerTestOneInput(first.data(), first.size());
  Slowest slowest;
  for (auto const& file : inputs) Replay(file, slowest);
  std::printf("replayed %zu inputs; slowest %.1f ms: %s\n", inputs.size(), slowest.milliseconds,
              slowest.file.string().c_str());
  return 0;
}
