#include "frontend/help_info.h"

#include <algorithm>

#include "frontend/product.h"
#include "frontend/replies.h"

namespace vantorix {

void show_help(ReplyWriter& out, const BackendOps& ops) {
  out.line(reply::kHelpTitle, kLineEnd);
  if (ops.check != nullptr) out.line(reply::kHelpCheck, kLineEnd);
  if (ops.lookup != nullptr) out.line(reply::kHelpLookup, kLineEnd);
  if (ops.exit != nullptr) out.line(reply::kHelpExit, kLineEnd);
  if (ops.set == nullptr && ops.mod == nullptr && ops.search == nullptr && ops.del == nullptr) return;
  out.line(reply::kData, kLineEnd);
  out.line(reply::kHelpExtendedTitle, kLineEnd);
  if (ops.set != nullptr) out.line(reply::kHelpSet, kLineEnd);
  if (ops.mod != nullptr) out.line(reply::kHelpMod, kLineEnd);
  if (ops.search != nullptr) out.line(reply::kHelpSearch, kLineEnd);
  if (ops.del != nullptr) out.line(reply::kHelpDel, kLineEnd);
}

bool show_info(ReplyWriter& out, CommandWords& words, const CoreSettings& settings, const LogState& log,
               const BackendOps& ops) {
  out.line(reply::kInfoIdentity, kVersionText, kProductName, kLineEnd);
  if (!settings.info_pass || !words[1] || *words[1] != *settings.info_pass) return true;
  out.line(reply::kData, kLineEnd);
  out.line(reply::kInfoDomain, settings.default_domain ? settings.default_domain->c_str() : "(NULL)", kLineEnd);
  out.line(reply::kInfoLogPath, log.log_path ? log.log_path->c_str() : "(NULL)", kLineEnd);
  if (ops.status != nullptr) {
    for (const std::string& line : ops.status()) out.line("%s%s", line.c_str(), kLineEnd);
  }
  if (log.debug_mode) out.line(reply::kInfoDebugMode, kLineEnd);
  return true;
}

void filter_user_name(Log& log, std::string& name, const CoreSettings& settings) {
  if (settings.filter_from == 0 || settings.filter_to == 0) return;
  log.message(reply::kFilterGiven, name.c_str(), settings.filter_from, settings.filter_to);
  std::replace(name.begin(), name.end(), settings.filter_from, settings.filter_to);
  log.message(reply::kFilterResult, name.c_str());
}

}  // namespace vantorix
