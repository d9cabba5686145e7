// The record's time of writing: its text in the file and the time read back,
// across the calendar's edges (leap days, century years, before 1970).
#include <gtest/gtest.h>

#include <string>

#include "status/report_record.h"

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

}  // namespace
