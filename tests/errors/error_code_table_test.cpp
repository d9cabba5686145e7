// The description table against the published list of codes: which codes
// have rows, which texts they carry, and which rows share one text.

// The tables keep their columns.
// clang-format off
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "errors/error_code_table.h"
#include "platform/text_format.h"
#include "platform/wide_string.h"

namespace {

// Codes as the published list writes them: "0x..." separated by commas, a
// hyphen joining the first and last code of a range. A single code is its
// own range.
std::vector<std::pair<DWORD, DWORD>> Ranges(const char* list) {
    std::vector<std::pair<DWORD, DWORD>> ranges;
    const char* p = list;
    while (*p) {
        while (*p == ' ' || *p == ',') ++p;
        if (!*p) break;
        char* end = nullptr;
        DWORD first = static_cast<DWORD>(std::strtoul(p, &end, 16));
        DWORD last = first;
        p = end;
        if (*p == '-') {
            last = static_cast<DWORD>(std::strtoul(p + 1, &end, 16));
            p = end;
        }
        ranges.emplace_back(first, last);
    }
    return ranges;
}

std::vector<DWORD> ExpandCodes(const char* list) {
    std::vector<DWORD> codes;
    for (auto [first, last] : Ranges(list)) {
        for (unsigned long long c = first; c <= last; ++c) codes.push_back(static_cast<DWORD>(c));
    }
    return codes;
}

WideString Widen(const char* text) {
    WideString wide;
    for (; *text; ++text) wide.push_back(static_cast<WCHAR>(*text));
    return wide;
}

WideString TextOf(DWORD code) {
    const WCHAR* text = FindErrorCodeText(code);
    return text ? WideString(text) : WideString();
}

std::string Hex(DWORD code) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%08X", static_cast<unsigned>(code));
    return buffer;
}

// The published list, in its groups.
const char* const kGroups[] = {
      "0x00000000, 0x00000001, 0x0000007B, 0x00000275, 0x0000041D, 0x000004C3, 0x000004C5,"
      " 0x000005D5, 0x00000619, 0x00000641, 0x00000643, 0x00000652, 0x000006D9, 0x000006F6,"
      " 0x00000963, 0x00000BC2, 0x00000C0B, 0x00000CC4, 0x00000D47, 0x00000E5C, 0x00000E74,"
      " 0x0000109F, 0x00001112, 0x0000117A, 0x00001190, 0x00001234, 0x00001396, 0x000013D7,"
      " 0x00001449, 0x00001633, 0x000017C7, 0x000017D2, 0x000018BE, 0x00001AD4, 0x00001ADA,"
      " 0x00001C70, 0x00001CE8, 0x00001D7A, 0x00001F1D, 0x00001F59, 0x00002075, 0x0000229A,"
      " 0x000022CA, 0x0000230B, 0x00002685, 0x000028A5, 0x00002ABF, 0x00002BBE, 0x00002D49,"
      " 0x00002DA4, 0x00002DDC, 0x00002EBD, 0x00002ED7, 0x000032D8, 0x000035DD, 0x000036F8,"
      " 0x000037A1, 0x000037FA, 0x0000384E, 0x000038F5, 0x0000399D, 0x00003A5C, 0x00003D16,"
      " 0x00003E44, 0x00004016, 0x000040CF, 0x00004146, 0x000041F4, 0x0000433D, 0x000043F9,"
      " 0x000044CC, 0x0000471E, 0x00004808, 0x00004910, 0x00004966, 0x00004A65, 0x00004BF9,"
      " 0x00004CC2, 0x00004D2D, 0x00004DB8, 0x00004E90, 0x00004FA2, 0x00005112, 0x000051CF,"
      " 0x00005249, 0x00005299, 0x0000530C, 0x000053C4, 0x00005492, 0x00005542, 0x0000556E,"
      " 0x000055BC, 0x00005636, 0x00005812, 0x00005844, 0x000058F7, 0x00005A6A, 0x00005AA5,"
      " 0x00005C0E, 0x00005FE9, 0x00006056, 0x0000626E, 0x000062B6, 0x0000651F, 0x000065AA,"
      " 0x000065BA, 0x00006F50, 0x00007052, 0x00007190, 0x00007617, 0x00007747, 0x00007865,"
      " 0x00007B86, 0x00007C12, 0x00007C78, 0x00007CE1, 0x00007D12, 0x00007DFF, 0x00007EC9,"
      " 0x00007F83, 0x00007FCC, 0x0000F06A, 0x0000F06B, 0x0000F0DA",
      "0x00240001-0x00240008",
      "0x80000007, 0x80004001-0x80004005, 0x80004015, 0x8000FFFF, 0x80010100, 0x80010105,"
      " 0x80010108, 0x80040154, 0x800401F3, 0x800401FD, 0x80040206",
      "0x80070001-0x80070003, 0x80070005, 0x80070006, 0x80070008, 0x8007000B, 0x8007000D,"
      " 0x8007000E, 0x80070017, 0x8007001F, 0x80070020, 0x80070032, 0x80070050, 0x80070052,"
      " 0x80070057, 0x80070070, 0x8007007A, 0x8007007B, 0x8007007E-0x80070080, 0x800700A1,"
      " 0x800700B6, 0x800700C1, 0x800700E7, 0x80070103, 0x8007010B, 0x8007012E, 0x800701E7,"
      " 0x80070246, 0x800703E3, 0x800703E5-0x800703E7, 0x800703EB, 0x800703ED, 0x800703F0,"
      " 0x8007041D-0x8007041F, 0x80070422, 0x80070424, 0x80070426, 0x8007042B, 0x8007042C,"
      " 0x80070433, 0x80070437, 0x8007043B, 0x8007045A, 0x8007045B, 0x80070490, 0x800704C7,"
      " 0x800704DD, 0x80070502, 0x80070570, 0x8007057F, 0x8007058D, 0x800705AA, 0x800705AD,"
      " 0x800705AF, 0x800705B4, 0x80070643, 0x80070652, 0x8007066A, 0x800706A6, 0x800706B5,"
      " 0x800706BA, 0x800706BB, 0x800706BE, 0x800706BF, 0x800706C6, 0x800706F7, 0x80070704,"
      " 0x80070BC2, 0x8007276B, 0x8007277B, 0x80072AF9, 0x80072AFC, 0x80072EE2,"
      " 0x80072EE4-0x80072EE7, 0x80072EEF, 0x80072EF1-0x80072EF3, 0x80072EFD, 0x80072EFE,"
      " 0x80072F0C, 0x80072F0D, 0x80072F76, 0x80072F78, 0x80072F7C, 0x80072F83, 0x80072F8C,"
      " 0x80072F8F, 0x800736B1, 0x80073712",
      "0x8007F001-0x8007F004, 0x8007F007-0x8007F024, 0x8007F026-0x8007F03B, 0x8007F03D-0x8007F067,"
      " 0x8007F06A-0x8007F070, 0x8007F075, 0x8007F076, 0x8007F078, 0x8007F07A-0x8007F07C,"
      " 0x8007F07F-0x8007F0B4, 0x8007F0C0-0x8007F0E0, 0x8007F0E2-0x8007F0EA, 0x8007F0EC-0x8007F0FA,"
      " 0x8007F200-0x8007F207, 0x8007F220, 0x8007F221",
      "0x80080005, 0x80080008, 0x80090006, 0x8009000B, 0x80090017, 0x8009001D, 0x80090305,"
      " 0x80090331, 0x8009033F, 0x80092003, 0x8009200D, 0x80092026, 0x80096001, 0x80096005,"
      " 0x80096010, 0x80096019, 0x800A0046, 0x800A01AD, 0x800A01AE, 0x800A138F,"
      " 0x800B0001-0x800B0004, 0x800B0100, 0x800B0101, 0x800B0109, 0x800B010D, 0x800B0110,"
      " 0x800C0002, 0x800F0101, 0x800F020B, 0x800F0217, 0x800F022B, 0x800F022F, 0x800F0244,"
      " 0x800FF8F0, 0x800FFBBE, 0x800FFC02, 0x800FFC0D",
      "0x80190064, 0x80190065, 0x801900C8-0x801900CE, 0x8019012C-0x80190131, 0x80190133,"
      " 0x80190190-0x8019019F, 0x801901A1, 0x801901C1, 0x801901F4-0x801901FA, 0x80194000-0x80194008",
      "0x80200001-0x80200040",
      "0x80240001-0x80240039, 0x80240040-0x80240042, 0x80240FFF, 0x80241001-0x80241004,"
      " 0x80241FFF-0x80242017, 0x80242FFF, 0x80243001-0x80243004, 0x80243FFD-0x8024402C,"
      " 0x8024402F-0x80244035, 0x80244FFF, 0x80245001-0x80245003, 0x8024502D, 0x8024502E,"
      " 0x80245FFF, 0x80246001-0x8024600B, 0x80246FFF, 0x80247001, 0x80247002,"
      " 0x80247FFF-0x8024801D, 0x80248FFF, 0x80249001-0x80249005, 0x8024A000-0x8024A005, 0x8024AFFF,"
      " 0x8024C001-0x8024C007, 0x8024CFFF, 0x8024D001-0x8024D013, 0x8024DFFF, 0x8024E001-0x8024E007,"
      " 0x8024EFFF, 0x8024F001-0x8024F004, 0x8024FFFF",
      "0x87FF0001, 0x87FF0004, 0x8DDD0001-0x8DDD0004, 0x8DDD0006, 0x8DDD0007, 0x8DDD000F,"
      " 0x8DDD0010, 0x8DDD0012, 0x8DDD0018",
      "0xC0000005, 0xC0000006, 0xC000001D, 0xC000001E, 0xC0000090, 0xC0000096, 0xC00000FD,"
      " 0xC000013A, 0xC0000142, 0xC0000194, 0xC0000354, 0xC8000147, 0xC8000152, 0xC8000158,"
      " 0xC80001FE, 0xC8000211, 0xC8000240, 0xC80003F3, 0xC80003F6, 0xC80003FA, 0xC80003FB,"
      " 0xC80003FE, 0xC8000442, 0xC800044E, 0xC8000710, 0xD0000005, 0xD0000006, 0xD0000008,"
      " 0xD0000017, 0xD0000018, 0xD000001D, 0xD0000022, 0xD000012D, 0xD0000135, 0xD000013A,"
      " 0xD0000142, 0xD0000194, 0xD0000354",
      "0xE0000101, 0xE0000201, 0xE0000203, 0xE000020B, 0xE000020D, 0xE0000217, 0xE0000219,"
      " 0xE000022B, 0xE000022D, 0xE000022F, 0xE0000230, 0xE0000234, 0xE000023A",
      "0xFFFFF8F0, 0xFFFFFB40, 0xFFFFFB4A, 0xFFFFFBBE, 0xFFFFFBF8, 0xFFFFFC01, 0xFFFFFC02,"
      " 0xFFFFFC06, 0xFFFFFC0D, 0xFFFFFDC9, 0xFFFFFDDA, 0xFFFFFDEC, 0xFFFFFDFD, 0xFFFFFE02,"
      " 0xFFFFFE0B, 0xFFFFFF99, 0xFFFFFFFF",
};

// Group 1 codes that have a description; the rest of group 1 carries the code.
const char kDescribedPlainNumbers[] =
      "0x00000000, 0x00000001, 0x0000007B, 0x00000275, 0x0000041D, 0x000004C3, 0x000004C5,"
      " 0x00000619, 0x00000641, 0x00000643, 0x00000652, 0x000006D9, 0x000006F6, 0x00000963,"
      " 0x00000BC2, 0x00000C0B, 0x00000E5C, 0x00001112, 0x00001190, 0x00001234, 0x00001396,"
      " 0x000013D7, 0x00001449, 0x00002075, 0x000032D8, 0x000036F8";
const char kMoreCodeAsText[] =
      "0x800700B6, 0x80072EE5, 0x80072EEF, 0x80072EF1-0x80072EF3, 0x80072F0C, 0x80072F0D,"
      " 0x80072F7C, 0x80072F83, 0x80072F8C, 0x8007F0F6, 0x800A01AD, 0x800C0002, 0x800FF8F0,"
      " 0x800FFBBE, 0x800FFC02, 0x800FFC0D, 0x801901FA, 0x80200033, 0x8024001C, 0x8024A001,"
      " 0x87FF0001, 0x8DDD0001, 0x8DDD0002, 0x8DDD0004, 0x8DDD0006, 0x8DDD0007, 0x8DDD000F,"
      " 0x8DDD0010, 0x8DDD0012, 0xC0000005, 0xC0000006, 0xC000001D, 0xC000001E, 0xC0000090,"
      " 0xC0000096, 0xC00000FD, 0xC000013A, 0xC0000142, 0xC8000147, 0xC8000152, 0xC8000158,"
      " 0xC8000211, 0xC8000240, 0xC80003FA, 0xC80003FE, 0xC8000442, 0xC8000710, 0xD0000005,"
      " 0xD0000006, 0xD0000017, 0xD0000022, 0xD0000135, 0xD000013A, 0xD0000142, 0xD0000194,"
      " 0xD0000354";
// The rows whose code text is not written in upper case.
const char kOtherCase[] =
      "0xc000001d, 0xc000001e, 0xc0000090, 0xc0000096, 0xc00000fd, 0xc000013a, 0xe0000201,"
      " 0xe0000203, 0xe000020b, 0xe000020d, 0xe0000217, 0xe0000219, 0xe000022b, 0xe000022d,"
      " 0xe000022f, 0xe0000230, 0xe0000234, 0xe000023a, 0xfffffe02, 0xfffffe0b, 0xffffff99,"
      " 0x80072F7c, 0x80072F8c, 0xFFFFFb40, 0xFFFFFb4a, 0xFFFFFdc9, 0xFFFFFdda, 0xFFFFFDfd";;

std::set<DWORD> AllListedCodes() {
    std::set<DWORD> all;
    for (const char* group : kGroups) {
        for (DWORD code : ExpandCodes(group)) all.insert(code);
    }
    return all;
}

std::set<DWORD> CodeAsTextCodes() {
    std::set<DWORD> codes;
    std::vector<DWORD> described = ExpandCodes(kDescribedPlainNumbers);
    for (DWORD code : ExpandCodes(kGroups[0])) {
        if (std::find(described.begin(), described.end(), code) == described.end()) codes.insert(code);
    }
    for (DWORD code : ExpandCodes(kGroups[11])) codes.insert(code);
    for (DWORD code : ExpandCodes(kGroups[12])) codes.insert(code);
    for (DWORD code : ExpandCodes(kMoreCodeAsText)) codes.insert(code);
    return codes;
}

}  // namespace

TEST(ErrorCodeTable, HoldsEachListedCodeOnceAndNoOther) {
    std::set<DWORD> listed = AllListedCodes();
    ASSERT_EQ(listed.size(), 970u);
    ASSERT_EQ(ErrorCodeTableSize(), 970u);
    std::set<DWORD> inTable;
    for (std::size_t i = 0; i < ErrorCodeTableSize(); ++i) {
        DWORD code = ErrorCodeTableCode(i);
        EXPECT_TRUE(inTable.insert(code).second) << "twice: " << Hex(code);
        EXPECT_TRUE(listed.count(code)) << "not listed: " << Hex(code);
    }
    EXPECT_EQ(inTable, listed);
    for (DWORD code : listed) EXPECT_NE(FindErrorCodeText(code), nullptr) << Hex(code);
}

TEST(ErrorCodeTable, RangesEndWhereTheListEndsThem) {
    std::set<DWORD> listed = AllListedCodes();
    for (const char* group : kGroups) {
        for (auto [first, last] : Ranges(group)) {
            DWORD before = first - 1;
            DWORD after = last + 1;
            if (first != 0 && !listed.count(before)) {
                EXPECT_EQ(FindErrorCodeText(before), nullptr) << Hex(before);
            }
            if (last != 0xFFFFFFFF && !listed.count(after)) {
                EXPECT_EQ(FindErrorCodeText(after), nullptr) << Hex(after);
            }
        }
    }
}

TEST(ErrorCodeTable, IdenticalTextsAreStoredOnce) {
    std::map<WideString, const WCHAR*> stored;
    for (std::size_t i = 0; i < ErrorCodeTableSize(); ++i) {
        const WCHAR* text = FindErrorCodeText(ErrorCodeTableCode(i));
        auto [it, added] = stored.emplace(WideString(text), text);
        if (!added) {
            EXPECT_EQ(it->second, text) << "same text stored twice: " << Hex(ErrorCodeTableCode(i));
        }
    }
    EXPECT_EQ(stored.size(), 948u);
}

TEST(ErrorCodeTable, TextsAreTwoTo709CharactersAndTheLongestIsInvalidParameter) {
    std::size_t longest = 0;
    DWORD longestCode = 0;
    for (std::size_t i = 0; i < ErrorCodeTableSize(); ++i) {
        DWORD code = ErrorCodeTableCode(i);
        std::size_t length = WideLength(FindErrorCodeText(code));
        EXPECT_GE(length, 2u) << Hex(code);
        EXPECT_LE(length, 709u) << Hex(code);
        if (length > longest) {
            longest = length;
            longestCode = code;
        }
    }
    EXPECT_EQ(longest, 709u);
    EXPECT_EQ(longestCode, 0x80070057u);
    // It cites a proxy script address as an example.
    EXPECT_NE(TextOf(0x80070057).find(Widen("http://")), WideString::npos);
}

TEST(ErrorCodeTable, CodesWithoutDescriptionCarryTheirCodeInTheListedCase) {
    std::set<DWORD> codes = CodeAsTextCodes();
    ASSERT_EQ(codes.size(), 186u);
    std::map<DWORD, std::string> otherCase;
    std::string list = kOtherCase;
    for (std::size_t at = 0; at < list.size(); at += 12) {
        std::string text = list.substr(at, 10);
        otherCase[static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 16))] = text;
    }
    ASSERT_EQ(otherCase.size(), 28u);
    for (DWORD code : codes) {
        std::string expected = otherCase.count(code) ? otherCase[code] : Hex(code);
        EXPECT_EQ(TextOf(code), Widen(expected.c_str())) << Hex(code);
    }
    for (auto& [code, text] : otherCase) EXPECT_TRUE(codes.count(code)) << text;

    // No other row is only its code.
    std::size_t codeOnly = 0;
    for (std::size_t i = 0; i < ErrorCodeTableSize(); ++i) {
        DWORD code = ErrorCodeTableCode(i);
        WideString text = TextOf(code);
        WideString upper = text;
        for (WCHAR& c : upper) {
            if (c >= 'a' && c <= 'f') c = static_cast<WCHAR>(c - 'a' + 'A');
        }
        if (upper == Widen(Hex(code).c_str()) || text == Widen(Hex(code).c_str())) ++codeOnly;
    }
    EXPECT_EQ(codeOnly, 186u);
}

// Among them the forms that are easy to lose (two blanks only, a leading
// blank, one backslash, a doubled blank, a literal percent sign) and twins
// whose texts differ by a full stop, a blank or a capital.
TEST(ErrorCodeTable, QuotedRowsAreExact) {
    const struct {
        DWORD code;
        const WCHAR* text;
    } rows[] = {
    {0x00000000, TEXT("Success")},
    {0x00000001, TEXT("Incorrect function")},
    {0x80070001, TEXT("Incorrect function.")},
    {0x00000643, TEXT("Fatal error during installation")},
    {0x80070643, TEXT("Fatal error during installation.")},
    {0x00000652, TEXT("Another installation is already in progress. Complete that installation before proceeding with this install.")},
    {0x80070652, TEXT("Another installation is already in progress.  Complete that installation before proceeding with this install.")},
    {0x00000BC2, TEXT("The requested operation is successful. Changes will not be effective until the system is rebooted.")},
    {0x00240001, TEXT("Service stopped")},
    {0x00240006, TEXT("The update to be installed is already installed")},
    {0x80000007, TEXT("Operation aborted")},
    {0x80004004, TEXT("Operation Aborted")},
    {0x800401F3, TEXT("Invalid class wstring")},
    {0x80040154, TEXT("BITS in Windows 2000 is dependent on SENS and EventSystem services. If COM+ catalog is corrupted, one of these errors was seen.")},
    {0x80070005, TEXT("The authentication method is not supported. - CoCreateInstance(IBackgroundCopyManager) fails with E ACCESSDENIED (0x80070005) in this condition")},
    {0x80070246, TEXT("Voir KB 942968 (Vista)")},
    {0x80070490, TEXT("Permission denied / [Problem initializing or using session variables] or Element not found")},
    {0x8007F001, TEXT("Setup cannot update your files because the language\\installed on your system is different from the update language.")},
    {0x8007F00F, TEXT("Setup")},
    {0x8007F04A, TEXT("The server did not respond (error code %d).")},
    {0x8007F0A2, TEXT("Unpacking: %d remaining")},
    {0x8007F0C5, TEXT("2%")},
    {0x8007F0D9, TEXT("The folder name is longer than the limit of 226 bytes. Enter a shorter name.")},
    {0x80240001, TEXT("SUS/WU agent can not provide the service")},
    {0x80240007, TEXT("  ")},
    {0x80240009, TEXT(" The caller attempted to perform an operation on an interface while another operation was in progress. The caller attempted to perform an operation on an interface while another operation was in progress.")},
    {0x80240016, TEXT("Try to install while another install is going on or reboot is pending")},
    {0x80240017, TEXT("Install is not needed because no updates are applicable")},
    {0x8024001E, TEXT("Call was aborted due to service stop or system shut down")},
    {0x80240022, TEXT("Operation failed on all specified updates")},
    {0x80240024, TEXT("There are no update")},
    {0x80240032, TEXT("Invalid criteria wstring")},
    {0x80240FFF, TEXT("generic unexpected failure")},
    {0x80246008, TEXT("Failed to create the IBackgroundCopyManager interface to BITS. The BITS service may have been disabled")},
    {0x80247001, TEXT("An operation could not be completed because the scan package was invalid.")},
    {0x80247FFF, TEXT("Search using the scan package failed.")},
    {0x8DDD0018, TEXT("AU could be disabled, not started etc. BITS could be disabled or not started etc.")},
    {0xC0000194, TEXT("object not found")},
    };
    for (const auto& row : rows) EXPECT_EQ(TextOf(row.code), WideString(row.text)) << Hex(row.code);
}

TEST(ErrorCodeTable, SharedTextsAreSharedAsListed) {
    const struct {
        const char* codes;
        const WCHAR* text;  // null: the text is ours, only its sharing is fixed
    } groups[] = {
    {"0x801900C8, 0x801900CD, 0x80190130, 0x80190192, 0x8019019F, 0x801901C1, 0x8020001B", TEXT("The servers response was not valid. The server was not following the defined protocol. Resume the job, and then Background Intelligent Transfer Service (BITS) will try again.")},
    {"0x8007045B, 0x8009033F", TEXT("A system shutdown is in progress.")},
    {"0x8007F018, 0x8007F019", TEXT(" Uninstall Directory")},
    {"0x8007F020, 0x8007F0C6", TEXT("Setup has detected that the build version of the system installed does not match the update you are applying to it. You can only install this update only on Build %d .")},
    {"0x8007F034, 0x8007F035", TEXT("Backing up files")},
    {"0x8007F036, 0x8007F037", TEXT("Installing files")},
    {"0x8007F0B2, 0x8007F0B3", TEXT("Stopping services")},
    {"0x8007F220, 0x8007F221", TEXT("Error codes should not be returned out of update.exe")},
    {"0x80200006, 0x8020000F", TEXT("No errors have occurred.")},
    {"0x80200009, 0x8020000A", nullptr},
    {"0x80240011, 0x80240012", TEXT("Registry value was read but is invalid")},
    {"0x80240013, 0x8024E001", TEXT("An expression handler was passed an expression that it doesnt know about")},
    {"0x80240014, 0x8024E002", TEXT("An expression handler was passed an expression that is bad.")},
    {"0x80242002, 0x80242003", TEXT("The caller requested an unknown handler object")},
    {"0x8024200E, 0x8024801A", TEXT("The attempted operation was not allowed")},
    {"0x80244029, 0x8024402A", TEXT("One of the Config ConfigurationProperty values was wrong")},
    {"0x8024800B, 0x8024800C", TEXT("The caller attempted to delete an update that is referenced by one or more services")},
    };
    for (const auto& group : groups) {
        std::vector<DWORD> codes = ExpandCodes(group.codes);
        const WCHAR* first = FindErrorCodeText(codes[0]);
        ASSERT_NE(first, nullptr) << group.codes;
        for (DWORD code : codes) EXPECT_EQ(FindErrorCodeText(code), first) << Hex(code);
        if (group.text) {
            EXPECT_EQ(WideString(first), WideString(group.text)) << group.codes;
        }
    }
    // The local-file text is about the local file.
    EXPECT_NE(TextOf(0x80200009).find(Widen("local file")), WideString::npos);
}

TEST(ErrorCodeTable, SomeRowsPointToTheVendorsPages) {
    for (DWORD code : {0x8007F026u, 0x8007F04Cu, 0x8007F0CBu, 0x8007F0CCu, 0x8007F0F8u}) {
        EXPECT_NE(TextOf(code).find(Widen("https://")), WideString::npos) << Hex(code);
    }
    EXPECT_NE(TextOf(0x8007F0CB).find(Widen("<a href=\"mailto:")), WideString::npos);
}
