#include "status/server_trust.h"

#include <vector>

#include "platform/drive_letter.h"
#include "platform/plain_file.h"
#include "platform/scoped_resource.h"

#if defined(WITH_OPENSSL)
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

struct TrustAnchors {
    std::vector<ScopedResource<X509*, X509_free>> certificates;
};
#endif

namespace {

const WCHAR kTrustFileName[] = TEXT("\\StatusServerTrust.pem");

const char kUnusablePrefix[] = "The status server's trust file cannot be used: ";
const char kEmpty[] = "the file is empty";
const std::string kTooLarge = "the file is larger than " + std::to_string(kMostTrustFileBytes >> 20) + " MiB";
const char kNoCertificate[] = "the file holds no PEM certificate";
const char kBrokenCertificate[] = "a certificate in the file cannot be read";

ServerTrust Unusable(const std::string& reason) {
    ServerTrust trust;
    trust.kind = ServerTrust::Kind::Unusable;
    trust.refusal = kUnusablePrefix + reason + ".";
    return trust;
}

ServerTrust CannotRead(DWORD error) {
    return Unusable("the file cannot be read (error " + std::to_string(error) + ")");
}

#if defined(WITH_OPENSSL)

using ScopedBio = ScopedResource<BIO*, BIO_free_all>;

// Whether the error queue's last entry says that no further PEM block was
// found: the end of a file read to its end.
bool ReachedEndOfPem() {
    const unsigned long error = ERR_peek_last_error();
    return ERR_GET_LIB(error) == ERR_LIB_PEM && ERR_GET_REASON(error) == PEM_R_NO_START_LINE;
}

#endif

// What a trust file's bytes ask for: Anchored when they hold at least one
// PEM certificate and every certificate block in them can be read,
// Unusable otherwise.
ServerTrust JudgeTrustFile(const std::string& bytes) {
    if (bytes.empty()) return Unusable(kEmpty);
    if (bytes.size() > kMostTrustFileBytes) return Unusable(kTooLarge);
#if defined(WITH_OPENSSL)
    // Every certificate block; text between blocks and blocks of other kinds
    // (keys, parameters) are passed over.
    auto anchors = std::make_shared<TrustAnchors>();
    ScopedBio bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    if (!bio) return Unusable(kBrokenCertificate);
    ERR_clear_error();
    while (X509* certificate = PEM_read_bio_X509(bio.Get(), nullptr, nullptr, nullptr))
        anchors->certificates.emplace_back(certificate);
    const bool whole = ReachedEndOfPem();
    ERR_clear_error();
    if (!whole) return Unusable(kBrokenCertificate);
    if (anchors->certificates.empty()) return Unusable(kNoCertificate);
    ServerTrust trust;
    trust.kind = ServerTrust::Kind::Anchored;
    trust.certificates = std::move(anchors);
    return trust;
#else
    return Unusable("this build of the worker has no TLS");
#endif
}

}  // namespace

ServerTrust ReadServerTrust(LPCWSTR drive) {
    if (!IsDriveLetter(drive)) return ServerTrust();
    const std::basic_string<WCHAR> path = WorkerFolder(drive) + kTrustFileName;
    // Shared for deletion too, so that an installer may replace the file
    // while a job reads it.
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return ServerTrust();
        return CannotRead(error);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.Get(), &information)) return CannotRead(GetLastError());
    if (!IsPlainFileAttributes(information.dwFileAttributes)) return CannotRead(ERROR_ACCESS_DENIED);
    if (information.nFileSizeHigh != 0 || information.nFileSizeLow > kMostTrustFileBytes) return Unusable(kTooLarge);
    // Its size and one byte more are read: a file that grew after its size
    // was taken is read on up to one byte over the limit and then refused,
    // never cut.
    std::string bytes(information.nFileSizeLow + 1, '\0');
    DWORD total = 0;
    while (total <= kMostTrustFileBytes) {
        if (total == bytes.size()) bytes.resize(kMostTrustFileBytes + 1);
        DWORD got = 0;
        if (!ReadFile(file.Get(), &bytes[total], static_cast<DWORD>(bytes.size()) - total, &got, nullptr))
            return CannotRead(GetLastError());
        if (got == 0) break;
        total += got;
    }
    bytes.resize(total);
    return JudgeTrustFile(bytes);
}

void AddTrustAnchors(const ServerTrust& trust, struct x509_store_st* store) {
#if defined(WITH_OPENSSL)
    if (trust.kind != ServerTrust::Kind::Anchored || !trust.certificates) return;
    // The store takes its own reference to each.
    for (const auto& certificate : trust.certificates->certificates) {
        if (X509_STORE_add_cert(store, certificate.Get()) != 1) ERR_clear_error();
    }
#else
    (void)trust;
    (void)store;
#endif
}
