#pragma once

namespace orvex {

// The engine's text for an error code (its own codes 0 to -76 and the negated WinSock numbers),
// or nullptr for a code it holds no text for. The list is searched from the start up to its
// end marker 999.
const char* EngineErrorText(int code);

}  // namespace orvex
