// The shared secret of the RADIUS client and its servers.
#pragma once

#include <string>
#include <string_view>

#include "radius/md5.h"

namespace vantorix {

/// The shared secret with its HMAC-MD5 key prepared once, so that signing a
/// packet costs no key set-up.
class SharedSecret {
 public:
  SharedSecret() : SharedSecret(std::string_view()) {}
  explicit SharedSecret(std::string_view text);
  std::string_view text() const { return text_; }
  /// HMAC-MD5 keyed with the secret, nothing fed yet; copy it to use it.
  const HmacMd5& hmac() const { return hmac_; }

 private:
  std::string text_;
  HmacMd5 hmac_;
};

}  // namespace vantorix
