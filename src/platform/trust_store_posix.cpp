#include "platform/trust_store.h"

namespace vantorix {

std::optional<std::vector<DerCertificate>> system_ca_certificates() { return std::nullopt; }

}  // namespace vantorix
