// Conversion of another tool's account files into commands for this program.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace vantorix {

/// Longest quoted information text: it is built in a 4096-byte area.
inline constexpr std::size_t kMaxQuotedInformation = 4095;
/// Longest piece of an account line handled at a time; a longer line is read
/// in pieces, each converted as a line of its own.
inline constexpr int kMaxAccountLine = 4094;
/// Longest path of an account file; a longer one is treated as missing.
inline constexpr std::size_t kMaxAccountPath = 4095;

/// Reads "zeauth.txt" then "zeauth.add" from `directory` and writes
/// "ze_convert.bat" and "ze_input.dat" in the working directory.
/// Returns 0 when `directory` or `executable` is null; the caller ignores it.
int convert_zeauth(const char* directory, const char* executable);

/// Converts the account file `directory`/`file_name`: one line per account
/// to `batch` and, when it is not null, to `input`. A file that cannot be
/// opened is skipped without a message.
void convert_zeauth_file(std::FILE* batch, std::FILE* input, const char* executable,
                         const char* directory, const char* file_name);

/// The information text as batch arguments: each word double-quoted, one
/// blank between words, quotes escaped and '|' neutralised. Reads `info` up to
/// its first CR, LF or end; gives "" when nothing is left to quote. Never
/// longer than kMaxQuotedInformation: characters that would not fit (with the
/// closing quote) are left off whole.
std::string quote_information(std::string_view info);

/// Converts one account line "user:password[:information]" (its line end
/// included) into the text it adds to the batch script and to the command
/// file. Returns false, adding nothing, for a line without a colon.
bool convert_zeauth_line(std::string_view line, std::string_view executable, std::string& batch,
                         std::string& input);

}  // namespace vantorix
