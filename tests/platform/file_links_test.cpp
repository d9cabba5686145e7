// Links, FIFOs, sockets and devices: never followed, never opened, never
// waited on; and the attributes and file information that tell them apart.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "platform/platform.h"
#include "platform/scoped_resource.h"
#include "standins/test_programs.h"

namespace {

using test_programs::Narrow;
using test_programs::TempFolder;
using test_programs::Wide;

class FileLinksTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_programs::WriteFile(folder_ / "file", "content");
        std::filesystem::create_directory(folder_ / "folder");
        std::filesystem::create_symlink(folder_ / "file", folder_ / "link-to-file");
        std::filesystem::create_symlink(folder_ / "folder", folder_ / "link-to-folder");
        std::filesystem::create_symlink(folder_ / "nothing", folder_ / "dangling");
        ASSERT_EQ(mkfifo((folder_ / "fifo").c_str(), 0644), 0);
        // A bound socket leaves its entry in the folder.
        socket_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string socketPath = folder_ / "socket";
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    void TearDown() override { close(socket_); }

    HANDLE Open(const std::string& path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
        return CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
    }
    DWORD Attributes(const std::string& name) { return GetFileAttributesW(Wide(folder_ / name).c_str()); }

    TempFolder folder_;
    int socket_ = -1;
};

TEST_F(FileLinksTest, OpensNeverFollowALinkNorOpenWhatIsNotAFile) {
    const DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
    for (const char* link : {"link-to-file", "link-to-folder", "dangling"}) {
        for (DWORD flags : {DWORD(FILE_ATTRIBUTE_NORMAL), DWORD(FILE_FLAG_OPEN_REPARSE_POINT)}) {
            EXPECT_EQ(Open(folder_ / link, readWrite, OPEN_EXISTING, flags), INVALID_HANDLE_VALUE) << link;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE)) << link;
        }
        EXPECT_EQ(Open(folder_ / link, readWrite, CREATE_NEW), INVALID_HANDLE_VALUE) << link;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS)) << link;
    }
    EXPECT_EQ(test_programs::ReadFile(folder_ / "file"), "content");
    EXPECT_FALSE(std::filesystem::exists(folder_ / "nothing"));

    // A FIFO without a writer would block an open for reading; a FIFO, a
    // socket or a device is refused at once, whatever is asked.
    for (const std::string& special : {folder_ / "fifo", folder_ / "socket", std::string("/dev/null")}) {
        for (DWORD disposition : {DWORD(OPEN_EXISTING), DWORD(OPEN_ALWAYS), DWORD(CREATE_ALWAYS)}) {
            for (DWORD access : {DWORD(GENERIC_READ), readWrite}) {
                EXPECT_EQ(Open(special, access, disposition), INVALID_HANDLE_VALUE) << special;
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << special;
            }
        }
    }
}

TEST_F(FileLinksTest, AFolderOpensOnlyWithBackupSemantics) {
    EXPECT_EQ(Open(folder_ / "folder", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ScopedHandle folder(Open(folder_ / "folder", GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    ASSERT_TRUE(folder);
    EXPECT_TRUE(FlushFileBuffers(folder.Get()));
}

TEST_F(FileLinksTest, DeletingALinkLeavesWhatItPointsAt) {
    EXPECT_TRUE(DeleteFileW(Wide(folder_ / "link-to-file").c_str()));
    EXPECT_TRUE(DeleteFileW(Wide(folder_ / "fifo").c_str()));
    EXPECT_FALSE(std::filesystem::is_symlink(folder_ / "link-to-file"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "fifo"));
    EXPECT_EQ(test_programs::ReadFile(folder_ / "file"), "content");
}

TEST_F(FileLinksTest, AttributesDescribeTheEntryItself) {
    const std::map<std::string, DWORD> expected = {
        {"file", FILE_ATTRIBUTE_NORMAL},
        {"folder", FILE_ATTRIBUTE_DIRECTORY},
        {"link-to-file", FILE_ATTRIBUTE_REPARSE_POINT},
        {"link-to-folder", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
        {"dangling", FILE_ATTRIBUTE_REPARSE_POINT},
        {"fifo", FILE_ATTRIBUTE_DEVICE},
        {"socket", FILE_ATTRIBUTE_DEVICE},
    };
    for (const auto& [name, attributes] : expected) EXPECT_EQ(Attributes(name), attributes) << name;
    EXPECT_EQ(GetFileAttributesW(u"/dev/null"), static_cast<DWORD>(FILE_ATTRIBUTE_DEVICE));

    // The directory search reports the same, with no size for a link.
    WIN32_FIND_DATAW data{};
    ScopedFindHandle search(FindFirstFileW(Wide(folder_ / "*").c_str(), &data));
    ASSERT_TRUE(search);
    std::map<std::string, DWORD> listed;
    do {
        listed[Narrow(data.cFileName)] = data.dwFileAttributes;
        if (Narrow(data.cFileName).rfind("link", 0) == 0) {
            EXPECT_EQ(data.nFileSizeLow, 0u);
        }
    } while (FindNextFileW(search.Get(), &data));
    listed.erase(".");
    listed.erase("..");
    EXPECT_EQ(listed, expected);

    chmod((folder_ / "file").c_str(), 0444);
    EXPECT_EQ(Attributes("file"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

TEST_F(FileLinksTest, AttributeFailuresSayWhatIsMissing) {
    EXPECT_EQ(Attributes("missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Attributes("missing/file"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Attributes("file/below"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileLinksTest, FileInformationIdentifiesTheFile) {
    ScopedHandle first(Open(folder_ / "file", GENERIC_READ, OPEN_EXISTING));
    ASSERT_EQ(link((folder_ / "file").c_str(), (folder_ / "second-name").c_str()), 0);
    ScopedHandle second(Open(folder_ / "second-name", GENERIC_READ, OPEN_EXISTING));
    ScopedHandle other(Open(folder_ / "other", GENERIC_WRITE, CREATE_NEW));
    ASSERT_TRUE(first && second && other);
    BY_HANDLE_FILE_INFORMATION a{}, b{}, c{};
    ASSERT_TRUE(GetFileInformationByHandle(first.Get(), &a));
    ASSERT_TRUE(GetFileInformationByHandle(second.Get(), &b));
    ASSERT_TRUE(GetFileInformationByHandle(other.Get(), &c));
    EXPECT_EQ(a.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(a.nFileSizeLow, 7u);
    EXPECT_EQ(a.nNumberOfLinks, 2u);
    EXPECT_EQ(c.nNumberOfLinks, 1u);
    EXPECT_EQ(std::make_tuple(a.dwVolumeSerialNumber, a.nFileIndexHigh, a.nFileIndexLow),
              std::make_tuple(b.dwVolumeSerialNumber, b.nFileIndexHigh, b.nFileIndexLow));
    EXPECT_EQ(a.dwVolumeSerialNumber, c.dwVolumeSerialNumber);
    EXPECT_NE(std::make_pair(a.nFileIndexHigh, a.nFileIndexLow), std::make_pair(c.nFileIndexHigh, c.nFileIndexLow));
    EXPECT_NE(a.ftLastWriteTime.dwHighDateTime, 0u);
}

}  // namespace
