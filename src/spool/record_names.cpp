#include "platform/wide_string.h"
#include "spool/record_names.h"

#include <algorithm>
#include <climits>

namespace {

const WCHAR kRecordSuffix[] = TEXT(".xml");
const WCHAR kTemporarySuffix[] = TEXT(".tmp");
const WCHAR kSetAsideSuffix[] = TEXT(".bad");

WCHAR AsciiLower(WCHAR c) {
    return c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c - 'A' + 'a') : c;
}

// Letter case ignored, as NTFS ignores it in names: "7.XML" is "7.xml".
bool EndsWith(const WideString& text, const WideString& suffix) {
    return text.size() > suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](WCHAR a, WCHAR b) { return AsciiLower(a) == AsciiLower(b); });
}

WideString DecimalText(unsigned long long value) {
    WideString digits;
    do {
        digits.insert(digits.begin(), static_cast<WCHAR>('0' + value % 10));
        value /= 10;
    } while (value > 0);
    return digits;
}

// The value of a canonical decimal number up to most; nothing for any other text.
std::optional<unsigned long long> CanonicalNumber(const WideString& text, unsigned long long most) {
    if (text.empty() || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    unsigned long long value = 0;
    for (WCHAR c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned long long>(c - '0');
        if (value > most) return std::nullopt;
    }
    return value;
}

// A record's name without its kind's suffix: "<job>" or "<job>.<n>".
std::optional<SpoolFileName> ParseRecordStem(const WideString& stem, SpoolFileKind kind) {
    const WideString::size_type dot = stem.find('.');
    SpoolFileName parsed{kind, stem.substr(0, dot), 0};
    if (!CanonicalNumber(parsed.job, INT_MAX)) return std::nullopt;
    if (dot == WideString::npos) return parsed;
    std::optional<unsigned long long> generation = CanonicalNumber(stem.substr(dot + 1), kLastGeneration);
    if (!generation || *generation == 0) return std::nullopt;
    parsed.generation = static_cast<DWORD>(*generation);
    return parsed;
}

}  // namespace

WideString SpoolJobNumber(LPCWSTR jobIdText) {
    if (!jobIdText || !*jobIdText) return WideString();
    unsigned long long value = 0;
    for (const WCHAR* c = jobIdText; *c; ++c) {
        if (*c < '0' || *c > '9') return WideString();
        value = value * 10 + static_cast<unsigned long long>(*c - '0');
        if (value > INT_MAX) return WideString();
    }
    return DecimalText(value);
}

DWORD JobNumberValue(const WideString& jobNumber) {
    return static_cast<DWORD>(CanonicalNumber(jobNumber, INT_MAX).value_or(0));
}

std::optional<SpoolFileName> ParseSpoolFileName(const WideString& name) {
    const WideString record = kRecordSuffix;
    const WideString temporary = record + kTemporarySuffix;
    const WideString setAside = kSetAsideSuffix;
    if (EndsWith(name, setAside)) {
        std::optional<SpoolFileName> kept = ParseSpoolFileName(name.substr(0, name.size() - setAside.size()));
        if (!kept || kept->kind == SpoolFileKind::SetAside) return std::nullopt;
        kept->kind = SpoolFileKind::SetAside;
        return kept;
    }
    if (EndsWith(name, temporary))
        return ParseRecordStem(name.substr(0, name.size() - temporary.size()), SpoolFileKind::Temporary);
    if (EndsWith(name, record))
        return ParseRecordStem(name.substr(0, name.size() - record.size()), SpoolFileKind::Record);
    return std::nullopt;
}

WideString RecordFileName(const WideString& job, DWORD generation) {
    if (generation == 0) return job + kRecordSuffix;
    return job + TEXT(".") + DecimalText(generation) + kRecordSuffix;
}

WideString TemporaryFileName(const WideString& job, DWORD generation) {
    return RecordFileName(job, generation) + kTemporarySuffix;
}

WideString SetAsideFileName(const WideString& name) {
    return name + kSetAsideSuffix;
}
