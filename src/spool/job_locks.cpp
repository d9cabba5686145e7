#include "platform/wide_string.h"
#include "spool/job_locks.h"

#include <chrono>
#include <thread>

#include "platform/plain_file.h"
#include "spool/spool_folder.h"

namespace {

const WCHAR kLockFileName[] = TEXT("jobs.lock");
constexpr DWORD kRunOffset = 0x80000000u;
// How often a claim tries again for records that another worker holds.
constexpr std::chrono::milliseconds kClaimRetry(20);

OVERLAPPED ByteAt(DWORD offset) {
    OVERLAPPED position{};
    position.Offset = offset;
    return position;
}

bool LockByte(HANDLE file, OVERLAPPED& position, bool wait) {
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    return LockFileEx(file, flags, 0, 1, 0, &position) != FALSE;
}

}  // namespace

JobLocks::JobLocks(const WideString& folder) {
    file_.Reset(CreateFileW(SpoolPath(folder, kLockFileName).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (file_ && (!GetFileInformationByHandle(file_.Get(), &information) ||
                  !IsPlainFileAttributes(information.dwFileAttributes)))
        file_.Reset();
}

JobLocks::Claim JobLocks::ClaimJob(const WideString& job, DWORD waitMilliseconds) {
    if (!file_) return Claim::Failed;
    OVERLAPPED run = ByteAt(JobNumberValue(job) + kRunOffset);
    if (!LockByte(file_.Get(), run, false))
        return GetLastError() == ERROR_LOCK_VIOLATION ? Claim::AlreadyRunning : Claim::Failed;
    // Earlier workers hold the records for their whole run: the wait is
    // bounded, and a job whose records stay held is left to their holder.
    OVERLAPPED records = ByteAt(JobNumberValue(job));
    const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    while (!LockByte(file_.Get(), records, false)) {
        if (GetLastError() != ERROR_LOCK_VIOLATION) return Claim::Failed;
        if (std::chrono::steady_clock::now() >= giveUpAt) {
            UnlockFileEx(file_.Get(), 0, 1, 0, &run);
            return Claim::AlreadyRunning;
        }
        std::this_thread::sleep_for(kClaimRetry);
    }
    return Claim::Claimed;
}

JobLocks::Borrowed::Borrowed(JobLocks& locks, const WideString& job)
    : file_(locks.file_.Get()), position_(ByteAt(JobNumberValue(job))), held_(LockByte(file_, position_, false)) {}

JobLocks::Borrowed::~Borrowed() {
    if (held_) UnlockFileEx(file_, 0, 1, 0, &position_);
}
