#pragma once

#include <string>

namespace orvex {

// True for a byte that quoted-printable (RFC 2045) passes unchanged: 32 to 126 except "=".
bool IsQuotedPrintableLiteral(unsigned char byte);

// Appends one byte in quoted-printable form: itself, or "=" and two uppercase hex digits.
void AppendQuotedPrintable(unsigned char byte, std::string& out);

}  // namespace orvex
