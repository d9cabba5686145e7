// The record's time of writing: its text in the file and the time read back,
// across the calendar's edges (leap days, century years, before 1970).
#include <gtest/gtest.h>

#include <string>

#include "spool/report_record.h"

namespace {

std::string WrittenText(const std::string& bytes) {
    const std::string open = "<written>";
    std::size_t start = bytes.find(open);
    if (start == std::string::npos) return "<missing>";
    start += open.size();
    return bytes.substr(start, bytes.find("</written>", start) - start);
}

TEST(ReportRecordTest, WrittenTimeIsUtcAndReadsBack) {
    const struct {
        long long seconds;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {4107542399LL, "2100-02-28T23:59:59Z"},
        {4107542400LL, "2100-03-01T00:00:00Z"},
        {1796643737, "2026-12-07T11:42:17Z"},
        // The first and the last time that a record is read back with.
        {-11644473600LL, "1601-01-01T00:00:00Z"},
        {253402300799LL, "9999-12-31T23:59:59Z"},
    };
    for (const auto& c : cases) {
        ReportRecord record;
        record.nJobID = 42;
        record.written = static_cast<std::time_t>(c.seconds);
        const std::string bytes = WriteReportRecord(record);
        EXPECT_EQ(WrittenText(bytes), c.text);
        std::optional<ReportRecord> read = ReadReportRecord(bytes);
        ASSERT_TRUE(read) << c.text;
        EXPECT_EQ(static_cast<long long>(read->written), c.seconds) << c.text;
    }
}

// A record is read only as the worker writes it: any character a description
// can hold reads back as written; a sequence that is not well-formed UTF-8,
// or a reference to a character the worker replaces, is refused.
TEST(ReportRecordTest, ReadsOnlyTextTheWorkerWrites) {
    ReportRecord record;
    record.nJobID = 42;
    record.strErrorDescription = L"caf\u00e9 \u20ac \U0001F600 \uFFFD end";
    const std::string bytes = WriteReportRecord(record);
    std::optional<ReportRecord> read = ReadReportRecord(bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->strErrorDescription, record.strErrorDescription);

    const std::string marker = "end";
    for (const std::string& bad :
         {std::string("\xF4\xF4\xF4\xF4"), std::string("\xC0\xAF"), std::string("\xED\xA0\x80"),
          std::string("\xF4\x90\x80\x80"), std::string("\xE2\x82"), std::string("\xF8"),
          // Characters the worker replaces before it writes, by reference.
          std::string("&#xDA3C;"), std::string("&#x1;"), std::string("&#xFFFE;")}) {
        std::string damaged = bytes;
        damaged.replace(damaged.find(marker), marker.size(), bad);
        EXPECT_FALSE(ReadReportRecord(damaged)) << testing::PrintToString(bad);
    }
}

// The refusal count is written only for a refused record, so that every
// other record reads as earlier workers wrote them (without it) and is read
// by them; a count that is there must be one.
TEST(ReportRecordTest, RefusalsAreWrittenOnlyWhenThereAreAnyAndReadBack) {
    ReportRecord record;
    record.nJobID = 42;
    record.attempts = 5;
    const std::string unrefused = WriteReportRecord(record);
    EXPECT_EQ(unrefused.find("refusals"), std::string::npos);
    ASSERT_TRUE(ReadReportRecord(unrefused));
    EXPECT_EQ(ReadReportRecord(unrefused)->refusals, 0);

    record.refusals = 2;
    const std::string refused = WriteReportRecord(record);
    std::optional<ReportRecord> read = ReadReportRecord(refused);
    ASSERT_TRUE(read);
    EXPECT_EQ((std::pair{read->attempts, read->refusals}), (std::pair{5, 2}));

    for (const char* bad : {"0", "-1", "x", ""}) {
        std::string damaged = refused;
        damaged.replace(damaged.find(">2<") + 1, 1, bad);
        EXPECT_FALSE(ReadReportRecord(damaged)) << bad;
    }
}

}  // namespace
