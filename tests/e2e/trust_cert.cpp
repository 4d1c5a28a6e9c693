// trust_cert.exe add|remove CERT.der
// Adds a certificate to the machine's ROOT store of the Wine prefix, or takes
// it out again, so the end-to-end tests can trust a certificate made at test
// time exactly as an administrator would on Windows (nothing in the library
// is switched off for it).

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || (std::wstring(argv[1]) != L"add" && std::wstring(argv[1]) != L"remove")) {
        fwprintf(stderr, L"usage: trust_cert add|remove CERT.der\n");
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    const std::vector<unsigned char> der((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        fwprintf(stderr, L"trust_cert: cannot read %ls\n", argv[2]);
        return 1;
    }
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    if (!store) {
        fwprintf(stderr, L"trust_cert: cannot open the ROOT store (%lu)\n", ::GetLastError());
        return 1;
    }
    bool ok = false;
    if (std::wstring(argv[1]) == L"add") {
        ok = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    } else if (PCCERT_CONTEXT wanted = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                                      static_cast<DWORD>(der.size()))) {
        ok = true;  // absent counts as removed
        if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                                wanted, nullptr))
            ok = ::CertDeleteCertificateFromStore(found);  // frees `found`
        ::CertFreeCertificateContext(wanted);
    }
    if (!ok) fwprintf(stderr, L"trust_cert: %ls failed (%lu)\n", argv[1], ::GetLastError());
    ::CertCloseStore(store, 0);
    return ok ? 0 : 1;
}
