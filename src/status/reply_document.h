// XML from the status server on its way into the runtime.
#pragma once

#include <optional>
#include <string>

// An XML document from outside as the runtime is to read it: all in UTF-8,
// without its XML declaration (which the runtime reads only for the
// encoding it names). A document declared as ISO-8859-1 is converted from
// it; in any other, each sequence that is not well-formed UTF-8 is replaced
// by U+FFFD, since the runtime reads such bytes leniently into characters
// that were not sent (an overlong "/", a stray byte as its Latin-1
// character, a character that takes in the byte after it). Numeric
// character references are given in a form the runtime reads right. Nothing
// for a document with an XML declaration beyond its start, where the
// runtime would switch its reading to the encoding that one names, or with
// one that does not end.
std::optional<std::string> ToUtf8Document(const std::string& bytes);
