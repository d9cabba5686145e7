// The description's way into the report: any UTF-16 text, cleaned by
// ToReportText and written by the runtime as the report's envelope, is a
// well-formed XML 1.0 document (checked by expat) whose description element
// reads back as the cleaned text, line breaks included; and the cleaned text
// is one the spool's reader takes for the worker's own.
#include <expat.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz_arguments.h"
#include "platform/linux/utf.h"
#include "status/report_text.h"
#include "status/status_proxy.h"

namespace {

// The cleaned text as the server should read it, in UTF-8 (on this platform
// the runtime's wide characters are whole code points).
std::string ExpectedText(const std::wstring& cleaned) {
    std::u16string units;
    for (wchar_t c : cleaned) {
        auto point = static_cast<char32_t>(c);
        if (point >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        } else {
            units += static_cast<char16_t>(point);
        }
    }
    return Utf16ToUtf8(reinterpret_cast<const WCHAR*>(units.data()), units.size());
}

struct Reader {
    int depth = 0;
    bool inDescription = false;
    int descriptions = 0;
    std::string text;
};

void XMLCALL Start(void* data, const XML_Char* name, const XML_Char**) {
    auto* reader = static_cast<Reader*>(data);
    if (std::string(name) == "strErrorDescription") {
        reader->inDescription = true;
        ++reader->descriptions;
    }
}
void XMLCALL End(void* data, const XML_Char*) {
    static_cast<Reader*>(data)->inDescription = false;
}
void XMLCALL Characters(void* data, const XML_Char* text, int length) {
    auto* reader = static_cast<Reader*>(data);
    if (reader->inDescription) reader->text.append(text, static_cast<std::size_t>(length));
}

std::string WriteEnvelope(ns1__UpdateDeployJobStatus& request) {
    veltwuaPortBindingProxy proxy(nullptr, nullptr);
    std::ostringstream out;
    proxy.os = &out;
    soap_begin(&proxy);
    proxy.encodingStyle = nullptr;
    request.soap_serialize(&proxy);
    if (soap_begin_send(&proxy) || soap_envelope_begin_out(&proxy) || soap_body_begin_out(&proxy) ||
        request.soap_put(&proxy, "ns1:UpdateDeployJobStatus", "") || soap_body_end_out(&proxy) ||
        soap_envelope_end_out(&proxy) || soap_end_send(&proxy))
        std::abort();
    proxy.os = nullptr;
    proxy.destroy();
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string units = UnitsUpToZero(data, size);
    std::wstring cleaned = ToReportText(reinterpret_cast<const WCHAR*>(units.c_str()));

    ns1__UpdateDeployJobStatus request;
    request.nStatus = -6;
    request.strErrorDescription = cleaned.data();
    std::string document = WriteEnvelope(request);

    Reader reader;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\0');
    XML_SetUserData(parser, &reader);
    XML_SetElementHandler(parser, Start, End);
    XML_SetCharacterDataHandler(parser, Characters);
    bool wellFormed = XML_Parse(parser, document.data(), static_cast<int>(document.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    if (!wellFormed) std::abort();
    if (reader.descriptions != 1 || reader.text != ExpectedText(cleaned) || !IsReportText(cleaned)) std::abort();
    return 0;
}
