// Command lines made from fuzz input: the input read as UTF-16 units (odd
// bytes dropped, unpaired surrogates kept), split into entries at each 0
// unit. Entries beyond the input are empty, as the agent's service could
// pass them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class FuzzCommandLine {
public:
    FuzzCommandLine(const std::uint8_t* data, std::size_t size, std::size_t count) {
        texts_.assign(count, std::u16string());
        texts_[0] = u"patch_worker";
        std::size_t entry = 1;
        for (std::size_t i = 0; i + 1 < size && entry < count; i += 2) {
            char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (unit == 0)
                ++entry;
            else
                texts_[entry] += unit;
        }
        for (auto& text : texts_) argv_.push_back(reinterpret_cast<WCHAR*>(text.data()));
        argv_.push_back(nullptr);
    }
    WCHAR** Argv() { return argv_.data(); }
    const std::u16string& Entry(std::size_t index) const { return texts_[index]; }

private:
    std::vector<std::u16string> texts_;
    std::vector<WCHAR*> argv_;
};

// The input as UTF-16 units up to the first 0 unit (odd bytes dropped).
inline std::u16string UnitsUpToZero(const std::uint8_t* data, std::size_t size) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) break;
        units += unit;
    }
    return units;
}

// Length of a terminated text, and whether it ends within capacity units.
inline bool TerminatedWithin(const WCHAR* text, std::size_t capacity) {
    for (std::size_t i = 0; i < capacity; ++i)
        if (text[i] == 0) return true;
    return false;
}

// Console output of the routines under test goes nowhere; libFuzzer reports
// on standard error.
void SilenceConsole();
