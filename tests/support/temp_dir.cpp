#include "temp_dir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace vantorix::testing {

// mkdtemp() in portable terms: a fresh random name, created only when
// nothing has it yet, and then closed to everyone but the owner.
TempDir::TempDir() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "vantorix-test-%08x", static_cast<unsigned>(random()));
    const std::filesystem::path candidate = base / name;
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("no temporary directory could be made in " + base.string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

void TempDir::write(const std::string& name, const std::string& content) const {
  std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
  out << content;
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string TempDir::read_text(const std::string& name) const {
  std::ifstream in(file(name));
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace vantorix::testing
