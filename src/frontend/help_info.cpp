#include "frontend/help_info.h"

#include <algorithm>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/dispatcher.h"
#include "frontend/product.h"
#include "logging/log.h"

namespace vantorix {

void show_help(CommandWords& /*words*/) {
  const BackendOps& ops = backend_ops();
  reply_line("+DATA Valid commands%s", kLineEnd);
  if (ops.check != nullptr) reply_line("+DATA     check <username> <password> [fromIPaddress]%s", kLineEnd);
  if (ops.lookup != nullptr) reply_line("+DATA     lookup <username>%s", kLineEnd);
  if (ops.exit != nullptr) reply_line("+DATA     exit%s", kLineEnd);
  if (ops.set == nullptr && ops.mod == nullptr && ops.search == nullptr && ops.del == nullptr) return;
  reply_line("+DATA%s", kLineEnd);
  reply_line("+DATA Supported Extended Commands%s", kLineEnd);
  if (ops.set != nullptr) {
    reply_line("+DATA     set <username> [<password>|(NULL) [var=\"val\" ...]]%s", kLineEnd);
  }
  if (ops.mod != nullptr) reply_line("+DATA     mod <username> [var=\"val\" ...]%s", kLineEnd);
  if (ops.search != nullptr) reply_line("+DATA     search <string> [-from x] [-max y]%s", kLineEnd);
  if (ops.del != nullptr) reply_line("+DATA     del <username>%s", kLineEnd);
}

int show_info(CommandWords& words) {
  reply_line("+DATA %s (%s)%s", kVersionText, kProductName, kLineEnd);
  const CoreSettings& settings = core_settings();
  if (!settings.info_pass || !words[1] || *words[1] != *settings.info_pass) return 1;
  const LogState& log = log_state();
  reply_line("+DATA%s", kLineEnd);
  reply_line("+DATA       Domain = %s%s",
             settings.default_domain ? settings.default_domain->c_str() : "(NULL)", kLineEnd);
  reply_line("+DATA     Log Path = %s%s", log.log_path ? log.log_path->c_str() : "(NULL)", kLineEnd);
  if (log.debug_mode) reply_line("+DATA (DEBUG MODE)%s", kLineEnd);
  return 1;
}

void filter_user_name(std::string& name) {
  const CoreSettings& settings = core_settings();
  if (settings.filter_from == 0 || settings.filter_to == 0) return;
  log_message("filtername given (%s), (%c) (%c)\n", name.c_str(), settings.filter_from, settings.filter_to);
  std::replace(name.begin(), name.end(), settings.filter_from, settings.filter_to);
  log_message("filtername result (%s)\n", name.c_str());
}

}  // namespace vantorix
