// The content of the server's reply to a report: read within its bound, and
// read as a SOAP Fault where it may be one.
#pragma once

#include <cstddef>
#include <string>

#include "stdsoap2.h"

// An acknowledgement has no content, and any SOAP Fault a server sends to
// explain a refusal fits in this; a reply with more is not read further.
constexpr std::size_t kLongestReplyContent = 64 * 1024;

// Reads the reply's content after its header: Content-Length bytes, the
// chunks of a chunked reply, or everything up to the server's close, but
// never more than one byte beyond kLongestReplyContent.
std::string ReadContent(struct soap* soap);

// Reads a 400 or 500 reply's content as a SOAP Fault, all in UTF-8 (see
// ToUtf8Document). Returns the error the Fault gives, with its fault string
// in the context, or SOAP_OK when the content is no envelope with a Fault.
int ReadFault(struct soap* soap, const std::string& content);
