// The user store's log texts, which administrators look for in the log.
// Matched by parents and other tools: keep every text byte for byte, odd
// spellings and wording included; a "fix" breaks whoever reads them.
#pragma once

namespace vantorix::user_store_text {

inline constexpr char kLoading[] = "Loading Userfile again: {%s}";
inline constexpr char kLoaded[] = "Finished Loading Userfile: {%s}";
inline constexpr char kLoadFailed[] = "Failed to Load Userfile: {%s}";
inline constexpr char kAppendFailed[] = "Failed to append to Userfile: {%s}";
inline constexpr char kCannotUse[] =
    "Userfile {%s} cannot be used: %s; accepted users are kept in memory only (said once per run)";
inline constexpr char kCutBackFailed[] =
    "Userfile {%s} keeps part of a record that could not be written whole: %s; remove its last line";
inline constexpr char kOpenToOthers[] =
    "Userfile {%s} can be read or written by other accounts, and its passwords are only scrambled: make it "
    "private to this account (chmod 600)";
inline constexpr char kCannotKeep[] =
    "Userfile {%s} %s: accepted users will be kept in memory only; let the account the mail server runs the "
    "program as (here: %s) create and write it, or change radius_user_file";
inline constexpr char kFoundInFile[] = "User was added to the file by another process: {%s}";
inline constexpr char kAdded[] = "Added user to memory and file: {%s}";
inline constexpr char kUpdated[] = "Updated password in memory and file: {%s}";
inline constexpr char kNameNotStorable[] = "User name {%s} cannot be stored in the Userfile; kept in memory only";
inline constexpr char kPasswordNotStorable[] =
    "Password of {%s} cannot be stored in the Userfile; kept in memory only";
inline constexpr char kRecordTooLong[] = "Record of {%s} is too long for the Userfile; kept in memory only";
inline constexpr char kPasswordTooLong[] = "Password of {%s} is longer than %d characters and was not stored";

}  // namespace vantorix::user_store_text
