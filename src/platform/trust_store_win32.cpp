#include "platform/trust_store.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

namespace vantorix {

std::optional<std::vector<DerCertificate>> system_ca_certificates() {
  std::vector<DerCertificate> certificates;
  HCERTSTORE store = ::CertOpenSystemStoreW(0, L"ROOT");
  if (store == nullptr) return certificates;
  for (PCCERT_CONTEXT certificate = ::CertEnumCertificatesInStore(store, nullptr); certificate != nullptr;
       certificate = ::CertEnumCertificatesInStore(store, certificate)) {
    if (certificate->dwCertEncodingType & X509_ASN_ENCODING) {
      certificates.emplace_back(certificate->pbCertEncoded, certificate->pbCertEncoded + certificate->cbCertEncoded);
    }
  }
  ::CertCloseStore(store, 0);
  return certificates;
}

}  // namespace vantorix
