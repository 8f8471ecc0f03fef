#include "radius/shared_secret.h"

#include <cstdint>
#include <span>

namespace vantorix {

SharedSecret::SharedSecret(std::string_view text)
    : text_(text), hmac_({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}) {}

}  // namespace vantorix
