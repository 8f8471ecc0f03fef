#include "frontend/help_info.h"

#include <algorithm>

#include "frontend/product.h"
#include "frontend/replies.h"

namespace vantorix {

void show_help(const BackendOps& ops) {
  reply_line(reply::kHelpTitle, kLineEnd);
  if (ops.check != nullptr) reply_line(reply::kHelpCheck, kLineEnd);
  if (ops.lookup != nullptr) reply_line(reply::kHelpLookup, kLineEnd);
  if (ops.exit != nullptr) reply_line(reply::kHelpExit, kLineEnd);
  if (ops.set == nullptr && ops.mod == nullptr && ops.search == nullptr && ops.del == nullptr) return;
  reply_line(reply::kData, kLineEnd);
  reply_line(reply::kHelpExtendedTitle, kLineEnd);
  if (ops.set != nullptr) reply_line(reply::kHelpSet, kLineEnd);
  if (ops.mod != nullptr) reply_line(reply::kHelpMod, kLineEnd);
  if (ops.search != nullptr) reply_line(reply::kHelpSearch, kLineEnd);
  if (ops.del != nullptr) reply_line(reply::kHelpDel, kLineEnd);
}


bool show_info(CommandWords& words, const CoreSettings& settings, const LogState& log, const BackendOps& ops) {
  reply_line(reply::kInfoIdentity, kVersionText, kProductName, kLineEnd);
  if (!settings.info_pass || !words[1] || *words[1] != *settings.info_pass) return true;
  reply_line(reply::kData, kLineEnd);
  reply_line(reply::kInfoDomain, settings.default_domain ? settings.default_domain->c_str() : "(NULL)", kLineEnd);
  reply_line(reply::kInfoLogPath, log.log_path ? log.log_path->c_str() : "(NULL)", kLineEnd);
  if (ops.status != nullptr) {
    for (const std::string& line : ops.status()) reply_line("%s%s", line.c_str(), kLineEnd);
  }
  if (log.debug_mode) reply_line(reply::kInfoDebugMode, kLineEnd);
  return true;
}

void filter_user_name(std::string& name, const CoreSettings& settings) {
  if (settings.filter_from == 0 || settings.filter_to == 0) return;
  log_message(reply::kFilterGiven, name.c_str(), settings.filter_from, settings.filter_to);
  std::replace(name.begin(), name.end(), settings.filter_from, settings.filter_to);
  log_message(reply::kFilterResult, name.c_str());
}

}  // namespace vantorix
