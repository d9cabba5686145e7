// Security descriptors from SDDL text, and the folders they protect.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "standins/test_programs.h"

namespace {

using test_programs::TempFolder;
using test_programs::Wide;

// SYSTEM and Administrators only, nothing inherited.
constexpr const char16_t* kProtectedSddl = u"O:SYG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

struct Descriptor {
    PSECURITY_DESCRIPTOR value = nullptr;
    ~Descriptor() { LocalFree(value); }
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(SecurityTest, ReadsSddlAndRefusesWhatItCannotRead) {
    for (const char16_t* text : {kProtectedSddl, u"D:PAI(A;;0x1f01ff;;;S-1-5-18)", u"D:(D;;GA;;;WD)S:(AU;SAFA;GA;;;WD)",
                                 u"O:BAD:P", u"G:BU"}) {
        Descriptor descriptor;
        ULONG size = 0;
        EXPECT_TRUE(
            ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor.value, &size))
            << test_programs::Narrow(text);
        EXPECT_NE(size, 0u);
    }
    for (const char16_t* text : {u"D:P(A;OICI;FA;;SY)", u"D:X", u"O:SYO:SY", u"D:P(A;;FA;;;S-1-)", u"D:P(Q;;FA;;;SY)",
                                 u"D:P(A;;ZZ;;;SY)", u"Z:SY", u"D:P(A;;FA;;;SY"}) {
        Descriptor descriptor;
        EXPECT_FALSE(
            ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor.value, nullptr))
            << test_programs::Narrow(text);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    Descriptor descriptor;
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedSddl, 2, &descriptor.value, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
}

TEST(SecurityTest, AProtectedDaclLeavesTheFolderToItsOwner) {
    TempFolder folder;
    Descriptor descriptor;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedSddl, SDDL_REVISION_1, &descriptor.value,
                                                                     nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.value, FALSE};
    EXPECT_TRUE(CreateDirectoryW(Wide(folder / "private").c_str(), &attributes));
    EXPECT_EQ(ModeOf(folder / "private"), 0700u);
    EXPECT_FALSE(CreateDirectoryW(Wide(folder / "private").c_str(), &attributes));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    EXPECT_TRUE(CreateDirectoryW(Wide(folder / "plain").c_str(), nullptr));
    EXPECT_EQ(ModeOf(folder / "plain"), 0755u);

    Descriptor inherited;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(u"D:(A;OICI;FA;;;SY)", SDDL_REVISION_1,
                                                                     &inherited.value, nullptr));
    SECURITY_ATTRIBUTES open{sizeof(SECURITY_ATTRIBUTES), inherited.value, FALSE};
    EXPECT_TRUE(CreateDirectoryW(Wide(folder / "inherits").c_str(), &open));
    EXPECT_EQ(ModeOf(folder / "inherits"), 0755u);

    int foreign[4] = {};
    SECURITY_ATTRIBUTES unknown{sizeof(SECURITY_ATTRIBUTES), foreign, FALSE};
    EXPECT_FALSE(CreateDirectoryW(Wide(folder / "foreign").c_str(), &unknown));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
}

}  // namespace
