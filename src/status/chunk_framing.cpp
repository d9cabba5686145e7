#include "status/chunk_framing.h"

#include <algorithm>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ChunkFraming::State ChunkFraming::Feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size && state_ == State::Reading;) {
        if (part_ == Part::Data) {
            // A chunk's data is taken whole, whatever its bytes.
            const std::size_t taken = static_cast<std::size_t>(std::min<std::uint64_t>(size_, size - i));
            size_ -= taken;
            i += taken;
            if (size_ == 0) part_ = Part::DataEnd;
            continue;
        }
        Take(data[i++]);
    }
    return state_;
}

// Ends a chunk-size line: its chunk's data follows, or after the last chunk
// (size 0) the trailer section.
void ChunkFraming::EndSizeLine() {
    part_ = size_ == 0 ? Part::Trailer : Part::Data;
    lineLength_ = 0;
}

// One byte outside a chunk's data. A line ends with CR LF; a bare LF is
// taken as well, as RFC 9112 allows a recipient to.
void ChunkFraming::Take(char c) {
    switch (part_) {
        case Part::Size: {
            const int digit = HexValue(c);
            if (digit >= 0) {
                size_ = size_ << 4 | static_cast<unsigned>(digit);
                ++sizeDigits_;
                if (size_ > kLargestChunk) state_ = State::TooLarge;
            } else if (sizeDigits_ == 0) {
                state_ = State::BadSizeLine;
            } else if (c == ';' || c == ' ' || c == '\t') {
                part_ = Part::Extension;
            } else if (c == '\r') {
                part_ = Part::SizeLineEnd;
            } else if (c == '\n') {
                EndSizeLine();
            } else {
                state_ = State::BadSizeLine;
            }
            return;
        }
        case Part::Extension:
            // A chunk extension: its text is not read, only its end.
            if (c == '\r')
                part_ = Part::SizeLineEnd;
            else if (c == '\n')
                EndSizeLine();
            return;
        case Part::SizeLineEnd:
            if (c == '\n')
                EndSizeLine();
            else
                state_ = State::BadSizeLine;
            return;
        case Part::Data: return;  // Feed takes the data
        case Part::DataEnd:
            if (c == '\r') {
                part_ = Part::DataLineEnd;
                return;
            }
            [[fallthrough]];
        case Part::DataLineEnd:
            if (c == '\n') {
                part_ = Part::Size;
                size_ = 0;
                sizeDigits_ = 0;
            } else {
                state_ = State::BadChunkEnd;
            }
            return;
        case Part::Trailer:
            if (c == '\r') {
                part_ = Part::TrailerLineEnd;
            } else if (c != '\n') {
                ++lineLength_;
            } else if (lineLength_ == 0) {
                state_ = State::Ended;
            } else {
                lineLength_ = 0;
            }
            return;
        case Part::TrailerLineEnd:
            if (c != '\n') {
                state_ = State::BadTrailer;
            } else if (lineLength_ == 0) {
                state_ = State::Ended;
            } else {
                lineLength_ = 0;
                part_ = Part::Trailer;
            }
            return;
    }
}

const char* ChunkFraming::Fault() const {
    switch (state_) {
        case State::BadSizeLine: return "HTTP Error: a chunk's size line is not hexadecimal digits and a line end";
        case State::TooLarge: return "HTTP Error: a chunk is larger than 2 GiB";
        case State::BadChunkEnd: return "HTTP Error: a chunk's data is not followed by a line end";
        case State::BadTrailer: return "HTTP Error: a line of the reply's trailer does not end with CR LF";
        case State::Reading:
        case State::Ended: return nullptr;
    }
    return nullptr;
}
