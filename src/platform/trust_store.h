// The CA certificates the system trusts for TLS servers, where the system
// keeps them in a store of its own that the TLS library cannot read.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vantorix {

/// A certificate in DER form.
using DerCertificate = std::vector<std::uint8_t>;

/// Windows: the certificates of the system's "ROOT" store (the trusted root
/// certification authorities of the machine and of the account), in DER
/// form; empty when the store cannot be opened. Elsewhere nothing: the TLS
/// library's own default locations are the system's store (on Debian
/// /etc/ssl/certs, kept by ca-certificates).
std::optional<std::vector<DerCertificate>> system_ca_certificates();

}  // namespace vantorix
