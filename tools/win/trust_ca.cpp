// Test helper: makes the machine's Root store trust one CA certificate.
//
//   trust_ca.exe CA.der    adds the DER certificate to LocalMachine\Root
//   trust_ca.exe --list    prints the subject of every certificate there
//
// Exit status 0 on success, 1 on any failure (with the Win32 error code).
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

namespace {

struct StoreCloser {
  HCERTSTORE store;
  ~StoreCloser() {
    if (store) CertCloseStore(store, 0);
  }
};

int Fail(const char* what) {
  std::fprintf(stderr, "trust_ca: %s failed (error %lu)\n", what, GetLastError());
  return 1;
}

HCERTSTORE OpenRoot() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                       L"Root");
}

bool ReadWholeFile(const char* path, std::string& bytes) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok && !bytes.empty();
}

int List() {
  StoreCloser root{OpenRoot()};
  if (!root.store) return Fail("CertOpenStore");
  int count = 0;
  for (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(root.store, nullptr); cert;
       cert = CertEnumCertificatesInStore(root.store, cert)) {
    char name[512] = {};
    CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, sizeof name);
    std::printf("%s\n", name);
    ++count;
  }
  std::fprintf(stderr, "trust_ca: %d certificates in LocalMachine\\Root\n", count);
  return 0;
}

int Add(const char* path) {
  std::string der;
  if (!ReadWholeFile(path, der)) {
    std::fprintf(stderr, "trust_ca: cannot read %s\n", path);
    return 1;
  }
  StoreCloser root{OpenRoot()};
  if (!root.store) return Fail("CertOpenStore");
  if (!CertAddEncodedCertificateToStore(root.store, X509_ASN_ENCODING,
                                        reinterpret_cast<const BYTE*>(der.data()),
                                        static_cast<DWORD>(der.size()),
                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
    return Fail("CertAddEncodedCertificateToStore");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_ca.exe CA.der | --list\n");
    return 1;
  }
  return std::string(argv[1]) == "--list" ? List() : Add(argv[1]);
}
