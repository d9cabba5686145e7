// The description's way into the report: any UTF-16 text, cleaned by
// ToReportText and written by the runtime as the report's envelope, is a
// well-formed XML 1.0 document (checked by expat) whose description element
// reads back as the cleaned text, line breaks included.
#include <expat.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "status/report_text.h"
#include "status/status_proxy.h"

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The cleaned text as the server should read it: UTF-8 (on this platform the
// runtime's wide characters are whole code points).
std::string ExpectedText(const std::wstring& cleaned) {
    std::string out;
    for (wchar_t c : cleaned) AppendUtf8(out, static_cast<char32_t>(c));
    return out;
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
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) break;
        units += unit;
    }
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
    if (reader.descriptions != 1 || reader.text != ExpectedText(cleaned)) std::abort();
    return 0;
}
