#pragma once

#include <string>

namespace orvex {

// Blanks as the C library's isspace sees them in the "C" locale.
bool IsBlank(char c);
std::string TrimBlanks(const std::string& text);
std::string ToUpperAscii(std::string text);
bool EqualsNoCase(const std::string& a, const std::string& b);

// `atoi`: leading blanks, an optional sign, then digits up to the first other character (text
// without a leading number gives 0; values beyond int are held at its limits).
int AsciiToInt(const std::string& text);

// `text` with every byte but the unreserved ones (letters, digits, "-._~") and those of `keep`
// as %XX: a path segment, a query or form value.
std::string PercentEncode(const std::string& text, const std::string& keep = "");

// `text` with "&", "<" and ">" written as the entities markup reads them as (XML element text,
// chat markup).
std::string MarkupEscaped(const std::string& text);

}  // namespace orvex
