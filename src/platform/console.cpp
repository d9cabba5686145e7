#include "console.h"

namespace {

// Gathers a print's text and hands it to the console in as few writes as
// possible, so that one line normally leaves in one piece.
class ConsoleSink : public FormatSink {
public:
    ~ConsoleSink() override { Flush(); }
    void Append(const WCHAR* text, std::size_t length) override {
        while (length) {
            if (used_ == kSize) Flush();
            std::size_t take = kSize - used_ < length ? kSize - used_ : length;
            for (std::size_t i = 0; i < take; ++i) chunk_[used_ + i] = text[i];
            used_ += take;
            text += take;
            length -= take;
        }
    }
    void Flush() {
        if (used_) WriteConsoleText(chunk_, used_);
        used_ = 0;
    }

private:
    static constexpr std::size_t kSize = 2048;
    WCHAR chunk_[kSize];
    std::size_t used_ = 0;
};

}  // namespace

void ConsolePrintList(const WCHAR* format, const FormatArg* args, std::size_t count) {
    ConsoleSink sink;
    FormatToSink(sink, format, args, count);
}
