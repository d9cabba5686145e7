// The status line of a reply, as RFC 9112 spells it.
#pragma once

// Whether line is an HTTP/1.0 or HTTP/1.1 status line: the version in
// capitals, a blank, three digits, then a blank before the reason (which a
// server may leave off) or nothing. The runtime reads the status from
// anything after the first blank, so that "ICY 200 OK" or "http/1.1 202
// Accepted" would count as an acknowledgement.
bool IsHttpStatusLine(const char* line);
