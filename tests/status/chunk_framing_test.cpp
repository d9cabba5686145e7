// The framing of a chunked reply, checked on its bytes as they arrive in any
// pieces: what a server may send, and what the runtime would read wrongly.
#include <gtest/gtest.h>

#include <string>

#include "status/chunk_framing.h"

namespace {

using State = ChunkFraming::State;

// The state after all of content, fed whole and fed a byte at a time:
// the split must not matter.
State Framing(const std::string& content) {
    ChunkFraming whole;
    whole.Feed(content.data(), content.size());
    ChunkFraming bytes;
    for (char c : content) bytes.Feed(&c, 1);
    EXPECT_EQ(whole.state(), bytes.state()) << content;
    return whole.state();
}

TEST(ChunkFraming, WellFramedRepliesEndAtTheirLastChunkAndTrailer) {
    EXPECT_EQ(Framing("0\r\n\r\n"), State::Ended);
    EXPECT_EQ(Framing("5\r\nhello\r\n0\r\n\r\n"), State::Ended);
    EXPECT_EQ(Framing("A\r\n0123456789\r\n6;ext=\"x y\"\r\n\r\n0\r\n\n\r\n0\r\n\r\n"), State::Ended);
    EXPECT_EQ(Framing("000\n\n"), State::Ended);  // bare line ends, as RFC 9112 lets a recipient take
    EXPECT_EQ(Framing("0 ;name\r\nExpires: never\r\nX: y\r\n\r\n"), State::Ended);
    // Chunk data is taken whole, line ends and digits inside it included.
    EXPECT_EQ(Framing("4\r\n\r\n0\r\r\n0\r\n\r\n"), State::Ended);
    // What follows the end is not looked at.
    EXPECT_EQ(Framing("0\r\n\r\nzz"), State::Ended);
}

TEST(ChunkFraming, IncompleteRepliesAreStillBeingRead) {
    for (const char* partial : {"", "5", "5\r", "5\r\nhel", "5\r\nhello", "5\r\nhello\r\n", "0\r\n", "0\r\nX: y\r\n"})
        EXPECT_EQ(Framing(partial), State::Reading) << partial;
}

TEST(ChunkFraming, SizeLinesTheRuntimeWouldSkipOverAreRefused) {
    // The runtime skips anything before a size's digits: "zz" would read
    // as the next size, and "x0" as the last chunk.
    for (const char* bad : {"zz\r\n", "x0\r\n\r\n", "\r\n0\r\n\r\n", " 5\r\nhello\r\n", "-1\r\n", "0x5\r\nhello",
                            "5\rhello", "5\r\nhello\r\nzz\r\n", "+5\r\n"})
        EXPECT_EQ(Framing(bad), State::BadSizeLine) << bad;
    ChunkFraming framing;
    framing.Feed("zz", 2);
    EXPECT_STREQ(framing.Fault(), "HTTP Error: a chunk's size line is not hexadecimal digits and a line end");
}

TEST(ChunkFraming, DataWithoutItsLineEndAndBrokenTrailersAreRefused) {
    EXPECT_EQ(Framing("5\r\nhello world\r\n"), State::BadChunkEnd);
    EXPECT_EQ(Framing("5\r\nhello\rx"), State::BadChunkEnd);
    EXPECT_EQ(Framing("0\r\nX: y\rz"), State::BadTrailer);
    EXPECT_EQ(Framing("0\r\n\rz"), State::BadTrailer);
}

TEST(ChunkFraming, ChunksLargerThanTheRuntimeReadsAreRefused) {
    EXPECT_EQ(Framing("7FFFFFFF\r\n"), State::Reading);
    EXPECT_EQ(Framing("0000000000000000000007fffffff\r\n"), State::Reading);
    EXPECT_EQ(Framing("80000000\r\n"), State::TooLarge);
    EXPECT_EQ(Framing("FFFFFFFFFFFFFFFFFFFF\r\n"), State::TooLarge);
    ChunkFraming framing;
    EXPECT_EQ(framing.Fault(), nullptr);
}

}  // namespace
