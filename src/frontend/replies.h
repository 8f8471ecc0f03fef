// The front end's fixed texts: every reply line of the line protocol, the
// lines the switches write, and the log texts of start-up and the exit path.
// Each reply format ends in "%s", filled with kLineEnd.
// Matched by parents and other tools: keep every text byte for byte, odd
// spellings and wording included; a "fix" breaks whoever reads them.
#pragma once

namespace vantorix::reply {

// Commands.
inline constexpr char kOk[] = "+OK%s";
inline constexpr char kNotSupported[] = "-ERR '%s' is not supported%s";
inline constexpr char kFailedExit[] = "-ERR Failed Exit%s";
inline constexpr char kNoUserOrPassword[] = "-ERR No username/password provided%s";
inline constexpr char kNoUser[] = "-ERR No username provided%s";
inline constexpr char kNoPassword[] = "-ERR No password provided%s";
inline constexpr char kStarInName[] = "-ERR Not allow '*' in user names%s";
inline constexpr char kStarInNameSet[] = "-ERR Sorry not allowed '*' in user names%s";
inline constexpr char kPasswordExpired[] = "-ERR %s password expired%s";
inline constexpr char kPasswordWrong[] = "-ERR %s password wrong or not a valid user%s";
inline constexpr char kNotLocated[] = "-ERR %s Not Located%s";
inline constexpr char kAdded[] = "+OK '%s' has been added to database%s";
inline constexpr char kNotAdded[] = "-ERR '%s' Failed to add (check database for fields match)%s";
inline constexpr char kDeleted[] = "+OK '%s' has been deleted%s";
inline constexpr char kNotAUser[] = "-ERR '%s' is not a valid user%s";
inline constexpr char kNoSearchField[] = "-ERR No search field provided%s";
inline constexpr char kSearchTooShort[] = "-ERR Search Field to short%s";
inline constexpr char kSearchDone[] = "+OK Search Completed (out of %d items)%s";
inline constexpr char kInfoFailed[] = "+ERR Info Display Failed%s";
inline constexpr char kDebugOn[] = "+OK Debug Turned ON%s";
inline constexpr char kDebugOff[] = "+OK Debug Turned OFF%s";
inline constexpr char kUnknownCommand[] = "-ERR Command not supported '%.20s'%s";
inline constexpr char kVersion[] = "+OK Velkor's %s Version %s%s";
inline constexpr char kSuccessStatus[] = "+OK";  // status word of the success line

// help.
inline constexpr char kHelpTitle[] = "+DATA Valid commands%s";
inline constexpr char kHelpCheck[] = "+DATA     check <username> <password> [fromIPaddress]%s";
inline constexpr char kHelpLookup[] = "+DATA     lookup <username>%s";
inline constexpr char kHelpExit[] = "+DATA     exit%s";
inline constexpr char kData[] = "+DATA%s";
inline constexpr char kHelpExtendedTitle[] = "+DATA Supported Extended Commands%s";
inline constexpr char kHelpSet[] = "+DATA     set <username> [<password>|(NULL) [var=\"val\" ...]]%s";
inline constexpr char kHelpMod[] = "+DATA     mod <username> [var=\"val\" ...]%s";
inline constexpr char kHelpSearch[] = "+DATA     search <string> [-from x] [-max y]%s";
inline constexpr char kHelpDel[] = "+DATA     del <username>%s";

// info.
inline constexpr char kInfoIdentity[] = "+DATA %s (%s)%s";
inline constexpr char kInfoDomain[] = "+DATA       Domain = %s%s";
inline constexpr char kInfoLogPath[] = "+DATA     Log Path = %s%s";
inline constexpr char kInfoDebugMode[] = "+DATA (DEBUG MODE)%s";

// Switches and one-shot commands.
inline constexpr char kVersionSwitch[] = "Velkor's %s Version %s%s";
inline constexpr char kFilterInvalid[] = "Invalid parameter to filtername%s";
inline constexpr char kFilterInvalidSecond[] = "Invalid second parameter to filtername%s";
inline constexpr char kInvalidSwitch[] = "-ERR: invalid switch {%s}%s";
inline constexpr char kWrongParameterCount[] = "Wrong number of paramters%s";
inline constexpr char kGenFileFailed[] = "-ERR Failed to 'Generate File' {%s}%s";
inline constexpr char kGenFileNoServer[] = "-ERR Failed to connect to LDAP server%s";
inline constexpr char kGenFileDone[] = "+OK Generate File Completed %d items found - {%s}%s";

// -help and --help: the usage, one line each, on standard output.
inline constexpr const char* kUsage[] = {
    "Usage: vantorix [-path DIR] [-ini FILE] [-log] [-debug] [-filtername,X,Y]",
    "       then one command per line on standard input: check USER PASSWORD [IP], lookup USER, help, info,",
    "       debug, version, exit",
    "  -path DIR                    look for the configuration file (vantorix.ini) in DIR first",
    "  -ini FILE                    name the configuration file after FILE (up to its first '.', then .ini)",
    "  -log                         write every log line to the log file (log_path)",
    "  -debug                       also echo every log line on standard output",
    "  -filtername,X,Y              replace the character X by Y in user names",
    "  -check USER PASSWORD         check one user and end",
    "  -lookup USER                 check a remembered user again and end",
    "  -test_config [USER PASSWORD] show the settings in effect, ask each server once, and end",
    "  -convert_zeauth DIR [NAME]   convert zeauth account files into ze_convert.bat and ze_input.dat",
    "  -version                     print the version and end",
    "  -help, --help                print this and end",
    "The manual: man vantorix (on Windows: vantorix.txt beside vantorix.exe)",
};

// Log texts.
inline constexpr char kArgumentLog[] = "*** %d - %s ***";
inline constexpr char kHiddenArgument[] = "(hidden)";  // a password argument, in kArgumentLog
inline constexpr char kEnteredArgument[] = "***Entered Argument***";
inline constexpr char kCommandLineCommand[] = "***Detected command line command***\n";
inline constexpr char kWaitingForCommand[] = "***Waiting for command***\n";
inline constexpr char kExiting[] = "***Exiting***\n";
inline constexpr char kOutputClosed[] =
    "Standard output is closed: nobody reads the answers; ending as at the end of input";
inline constexpr char kClosingConnection[] = "Closing Connection";
inline constexpr char kWarning[] = "Warning: %s%s";  // each configuration warning, on standard error at start-up
inline constexpr char kAccount[] =
    "Account: %s (files are checked with its rights; the mail server's account may differ: run -test_config "
    "as that account)";
inline constexpr char kStartedDebug[] = "**%s %s Started in debug mode, pid=%d,exe/log_path={%s}\n";
inline constexpr char kStartedLogging[] = "**%s %s Started in logging mode, pid=%d,exe/log_path={%s}\n";
inline constexpr char kDisplayingUser[] = "...Displaying User";
inline constexpr char kFilterGiven[] = "filtername given (%s), (%c) (%c)\n";
inline constexpr char kFilterResult[] = "filtername result (%s)\n";

}  // namespace vantorix::reply
