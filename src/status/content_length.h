// A reply's Content-Length fields, as RFC 9112 frames a message by them.
#pragma once

#include <string>

class ContentLengthFields {
public:
    // Forgets the fields of an earlier reply.
    void Clear();
    // Takes one field's value as the runtime hands it over: without the
    // blanks around it, and without the quotes around a quoted one (quoted
    // says there were quotes). A value counts only as plain decimal digits,
    // the same in every field; the runtime would take the last field, read
    // "0x10" as 0, "+5" or "5 5" as 5 and "-1" as the largest length.
    void Note(const char* value, bool quoted);
    // Whether a field was not plain digits, or differed from another: the
    // reply's length cannot be told (RFC 9112, 6.3).
    bool Invalid() const { return invalid_; }

private:
    std::string length_;  // the first field's digits without leading zeros
    bool invalid_ = false;
};
