// A directory of its own for one test, removed with everything in it.
#pragma once

#include <string>

namespace vantorix::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  /// path() + "/" + name
  std::string file(const std::string& name) const;
  /// Writes `content` to file(name), replacing it.
  void write(const std::string& name, const std::string& content) const;
  /// The content of file(name), or "" when it cannot be read.
  std::string read(const std::string& name) const;
  /// The same read as a text stream, as this platform reads a text file such
  /// as the log: on Windows each CR LF comes back as a line feed.
  std::string read_text(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace vantorix::testing
