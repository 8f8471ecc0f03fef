// The -convert_zeauth switch of the real program: account files in, batch
// script and command file out, compared byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix {
namespace {

using testing::in_directory;
using testing::run_process;
using testing::TempDir;
using testing::vantorix_binary;

std::string data_dir() { return testing::source_dir() + "/tests/data/convert"; }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool exists(const TempDir& dir, const char* name) { return std::filesystem::exists(dir.file(name)); }

TEST(ConvertProcess, ConvertsBothAccountFilesByteForByte) {
  TempDir work;
  // Running again replaces what an earlier run left.
  work.write("ze_convert.bat", "old batch\n");
  work.write("ze_input.dat", "old input\n");
  auto result = run_process({vantorix_binary(), "-convert_zeauth", data_dir(), "vx.exe"}, "",
                            in_directory(work.path()));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(work.read("ze_convert.bat"), read_file(data_dir() + "/expected_ze_convert.bat"));
  EXPECT_EQ(work.read("ze_input.dat"), read_file(data_dir() + "/expected_ze_input.dat"));
  // No configuration, no log: the conversion touches nothing else.
  EXPECT_FALSE(exists(work, "vantorix.log"));
}

TEST(ConvertProcess, NamesTheProgramItselfWhenNoNameIsGiven) {
  TempDir accounts;
  TempDir work;
  accounts.write("zeauth.add", "zed:pw:Zed\r\n");
  // The trailing separator of the directory is dropped before the file name is added.
  auto result = run_process({vantorix_binary(), "-convert_zeauth", accounts.path() + "/"}, "",
                            in_directory(work.path()));
  EXPECT_EQ(result.exit_status, 1);
  std::string program = std::filesystem::path(vantorix_binary()).filename().string();
  EXPECT_EQ(work.read("ze_convert.bat"), program + " -set zed pw \"Zed\"\n");
  EXPECT_EQ(work.read("ze_input.dat"), "set zed pw Zed\r\n");
}

TEST(ConvertProcess, MissingAccountFilesGiveEmptyOutputs) {
  TempDir accounts;
  TempDir work;
  auto result = run_process({vantorix_binary(), "-convert_zeauth", accounts.path(), "vx"}, "",
                            in_directory(work.path()));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, "");
  ASSERT_TRUE(exists(work, "ze_convert.bat"));
  ASSERT_TRUE(exists(work, "ze_input.dat"));
  EXPECT_EQ(work.read("ze_convert.bat"), "");
  EXPECT_EQ(work.read("ze_input.dat"), "");
}

TEST(ConvertProcess, WithoutDirectoryNothingIsWritten) {
  TempDir work;
  auto result = run_process({vantorix_binary(), "-convert_zeauth"}, "exit\n",
                            in_directory(work.path()));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(exists(work, "ze_convert.bat"));
  EXPECT_FALSE(exists(work, "ze_input.dat"));
}

TEST(ConvertProcess, BatchScriptIsWrittenWhenTheCommandFileCannotBe) {
  TempDir accounts;
  TempDir work;
  accounts.write("zeauth.txt", "amy:pw:x\n");
  std::filesystem::create_directory(work.file("ze_input.dat"));  // cannot be opened for writing
  auto result = run_process({vantorix_binary(), "-convert_zeauth", accounts.path(), "vx"}, "",
                            in_directory(work.path()));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(work.read("ze_convert.bat"), "vx -set amy pw \"x\"\n");
}

}  // namespace
}  // namespace vantorix
