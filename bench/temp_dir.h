// A fresh folder under /tmp for the benchmarks' unix sockets, removed with its contents.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace HyrnBench {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/hyrn-bench-XXXXXX";
    char const* const made = ::mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;

  bool made() const { return !path_.empty(); }
  std::string Path(std::string const& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace HyrnBench
