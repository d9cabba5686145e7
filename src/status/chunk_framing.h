// The framing of a chunked reply (RFC 9112, 7.1), checked on the bytes as
// they arrive. The runtime decodes chunks itself, but leniently: it skips
// anything before a chunk size's digits, so that "zz" or a stray line reads
// as no size at all, and the reply only seems to end early. The check sees
// the same bytes and says what was wrong.
#pragma once

#include <cstddef>
#include <cstdint>

class ChunkFraming {
public:
    // The largest chunk the runtime reads (its SOAP_MAXHTTPCHUNK).
    static constexpr std::uint64_t kLargestChunk = 0x7FFFFFFF;

    // What the bytes so far show.
    enum class State {
        Reading,         // framed well so far, the last chunk not yet seen
        Ended,           // the last chunk and its trailer section arrived
        BadSizeLine,     // a chunk-size line that is not hex digits, an optional extension and a line end
        TooLarge,        // a chunk larger than the runtime takes
        BadChunkEnd,     // a chunk's data not followed by its line end
        BadTrailer,      // a trailer line not ended by its line end
    };

    // Takes the next bytes of the content, after the header. Bytes that
    // follow the end, or a fault, are not looked at.
    State Feed(const char* data, std::size_t size);
    State state() const { return state_; }

    // The fault string of a reply whose framing failed; null otherwise.
    const char* Fault() const;

private:
    enum class Part { Size, Extension, SizeLineEnd, Data, DataEnd, DataLineEnd, Trailer, TrailerLineEnd };
    void Take(char c);
    void EndSizeLine();

    State state_ = State::Reading;
    Part part_ = Part::Size;
    std::uint64_t size_ = 0;       // the chunk's size, then what is left of its data
    std::size_t sizeDigits_ = 0;   // digits of the size line read so far
    std::size_t lineLength_ = 0;   // characters of the trailer line read so far
};
