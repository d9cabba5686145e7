#include "platform/wide_string.h"
#include "status/server_trust.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/drive_letter.h"
#include "platform/plain_file.h"
#include "platform/scoped_resource.h"

#if defined(WITH_OPENSSL)
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

using ScopedCertificate = ScopedResource<X509*, X509_free>;

struct TrustAnchors {
    std::vector<ScopedCertificate> certificates;
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

// Reads the one certificate of a certificate block (its text from its BEGIN
// line to its END line); none when the block does not hold one.
ScopedCertificate ReadCertificateBlock(std::string_view block) {
    ScopedBio bio(BIO_new_mem_buf(block.data(), static_cast<int>(block.size())));
    ScopedCertificate certificate(bio ? PEM_read_bio_X509(bio.Get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    return certificate;
}

constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEnd = "-----END ";
constexpr std::string_view kDashes = "-----";
// The kinds of block that hold a certificate, as OpenSSL reads them.
constexpr std::string_view kCertificateKinds[] = {"CERTIFICATE", "X509 CERTIFICATE"};

// The lines of a trust file one at a time, without their ends (LF or CR LF)
// and the blanks before them.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (next_ >= text_.size()) return false;
        start_ = next_;
        const std::size_t end = std::min(text_.find('\n', next_), text_.size());
        line = text_.substr(next_, end - next_);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        next_ = end + 1;
        return true;
    }
    // Where the last line read starts, and where the next one does.
    std::size_t LineStart() const { return start_; }
    std::size_t Position() const { return std::min(next_, text_.size()); }

private:
    std::string_view text_;
    std::size_t start_ = 0;
    std::size_t next_ = 0;
};

// The kind that a line opens a block of ("-----BEGIN <kind>-----"), if it
// opens one.
std::optional<std::string_view> OpenedKind(std::string_view line) {
    if (line.size() < kBegin.size() + kDashes.size() || line.substr(0, kBegin.size()) != kBegin ||
        line.substr(line.size() - kDashes.size()) != kDashes)
        return std::nullopt;
    return line.substr(kBegin.size(), line.size() - kBegin.size() - kDashes.size());
}

bool IsEndOf(std::string_view line, std::string_view kind) {
    return line.size() == kEnd.size() + kind.size() + kDashes.size() && line.substr(0, kEnd.size()) == kEnd &&
           line.substr(kEnd.size(), kind.size()) == kind && line.substr(line.size() - kDashes.size()) == kDashes;
}

bool IsCertificateKind(std::string_view kind) {
    return std::find(std::begin(kCertificateKinds), std::end(kCertificateKinds), kind) != std::end(kCertificateKinds);
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
    // (keys, parameters), whatever they hold, even nothing, are passed over
    // unread: the library's reader would stop at an empty one. A block runs
    // from its BEGIN line to the END line of its kind (or to the end of the
    // file, when there is none).
    auto anchors = std::make_shared<TrustAnchors>();
    Lines lines(bytes);
    std::string_view line;
    while (lines.Next(line)) {
        const std::optional<std::string_view> kind = OpenedKind(line);
        if (!kind) continue;
        const std::size_t begin = lines.LineStart();
        bool ended = false;
        while (!ended && lines.Next(line)) ended = IsEndOf(line, *kind);
        if (!IsCertificateKind(*kind)) continue;
        if (!ended) return Unusable(kBrokenCertificate);
        ScopedCertificate certificate =
            ReadCertificateBlock(std::string_view(bytes).substr(begin, lines.Position() - begin));
        if (!certificate) return Unusable(kBrokenCertificate);
        anchors->certificates.push_back(std::move(certificate));
    }
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
    const WideString path = WorkerFolder(drive) + kTrustFileName;
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
