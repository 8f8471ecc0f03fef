#include "platform/trust_store.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <string>

namespace vantorix {
namespace {

// CryptoAPI's store functions, from crypt32.dll in the system directory,
// loaded only when a TLS setup asks for the store: every other run neither
// loads it nor pays its start-up.
struct StoreFunctions {
  decltype(&::CertOpenSystemStoreW) open = nullptr;
  decltype(&::CertEnumCertificatesInStore) next = nullptr;
  decltype(&::CertCloseStore) close = nullptr;
};

template <class Function>
void find(HMODULE library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

bool load_store_functions(StoreFunctions& functions) {
  wchar_t directory[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::wstring path = std::wstring(directory, length) + L"\\crypt32.dll";
  const HMODULE library = ::LoadLibraryW(path.c_str());
  if (library == nullptr) return false;
  find(library, "CertOpenSystemStoreW", functions.open);
  find(library, "CertEnumCertificatesInStore", functions.next);
  find(library, "CertCloseStore", functions.close);
  return functions.open != nullptr && functions.next != nullptr && functions.close != nullptr;
}

}  // namespace

std::optional<std::vector<DerCertificate>> system_ca_certificates() {
  std::vector<DerCertificate> certificates;
  StoreFunctions store_functions;
  if (!load_store_functions(store_functions)) return certificates;
  HCERTSTORE store = store_functions.open(0, L"ROOT");
  if (store == nullptr) return certificates;
  for (PCCERT_CONTEXT certificate = store_functions.next(store, nullptr); certificate != nullptr;
       certificate = store_functions.next(store, certificate)) {
    if (certificate->dwCertEncodingType & X509_ASN_ENCODING) {
      certificates.emplace_back(certificate->pbCertEncoded, certificate->pbCertEncoded + certificate->cbCertEncoded);
    }
  }
  store_functions.close(store, 0);
  return certificates;
}

}  // namespace vantorix
