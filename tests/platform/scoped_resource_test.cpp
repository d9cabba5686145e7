// The owner of platform resources: which values it holds, when it releases,
// and that releasing leaves the caller's last-error code alone.
#include "platform/scoped_resource.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<HANDLE> g_released;

BOOL WINAPI RecordRelease(HANDLE handle) {
    g_released.push_back(handle);
    SetLastError(ERROR_INVALID_HANDLE);
    return TRUE;
}

using RecordedHandle = ScopedResource<HANDLE, RecordRelease, ValidHandle>;
using RecordedResource = ScopedResource<HANDLE, RecordRelease>;

TEST(ScopedResource, ReleasesOnlyWhatItHoldsOnceAndKeepsTheLastError) {
    g_released.clear();
    HANDLE held = reinterpret_cast<HANDLE>(0x1234);
    {
        // Null and INVALID_HANDLE_VALUE are both "nothing" for a handle.
        RecordedHandle none;
        RecordedHandle invalid(INVALID_HANDLE_VALUE);
        EXPECT_FALSE(none);
        EXPECT_FALSE(invalid);

        RecordedHandle owner(held);
        EXPECT_TRUE(owner);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(g_released, std::vector<HANDLE>{held});
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A resource whose calls hand out null for "none" holds any other value;
    // one handed to the caller is not released.
    g_released.clear();
    {
        RecordedResource other(INVALID_HANDLE_VALUE);
        EXPECT_TRUE(other);
        RecordedHandle detached(held);
        EXPECT_EQ(detached.Detach(), held);
    }
    EXPECT_EQ(g_released, std::vector<HANDLE>{INVALID_HANDLE_VALUE});
}

TEST(ScopedResource, MovesHandOverAndResetReleasesWhatItReplaces) {
    g_released.clear();
    HANDLE first = reinterpret_cast<HANDLE>(0x1);
    HANDLE second = reinterpret_cast<HANDLE>(0x2);
    HANDLE third = reinterpret_cast<HANDLE>(0x3);
    {
        RecordedHandle source(first);
        RecordedHandle moved(std::move(source));
        EXPECT_FALSE(source);
        EXPECT_EQ(moved.Get(), first);

        // Assigned over, the owner releases what it held before.
        RecordedHandle target(second);
        target = std::move(moved);
        EXPECT_EQ(g_released, std::vector<HANDLE>{second});
        EXPECT_FALSE(moved);
        EXPECT_EQ(target.Get(), first);

        SetLastError(ERROR_ACCESS_DENIED);
        target.Reset(third);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(g_released, (std::vector<HANDLE>{second, first}));
        EXPECT_EQ(target.Get(), third);
    }
    // Emptied sources release nothing; the last value goes at the end.
    EXPECT_EQ(g_released, (std::vector<HANDLE>{second, first, third}));
}

}  // namespace
