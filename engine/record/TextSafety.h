// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo {

// Product codes come from the network: up to 63 arbitrary bytes. These turn
// such bytes (and any other text the engine did not write itself) into
// text that is safe where it is shown or kept.
//
// Shared by all three: a backslash is written "\\", so every escape below
// reads back unambiguously, and these code points are written as visible
// escapes instead of being passed on:
//   tab, LF, CR                                  \t \n \r
//   other C0 controls and DEL                    \x00 .. \x1f, \x7f
//   C1 controls U+0080..U+009F                   \u0080 .. \u009f
//   direction controls U+061C, U+200E, U+200F,
//   U+202A..U+202E, U+2066..U+2069               \u202e ...
//   line and paragraph separators                \u2028 \u2029
// (the last two would start a new line in a text widget). Valid UTF-8 that
// is none of these passes unchanged. Malformed UTF-8 (stray or missing
// continuation bytes, overlong forms, surrogates, beyond U+10FFFF) is
// handled per maximal ill-formed subsequence, as Unicode recommends.

// One RFC 4180 field, UTF-8 and always on one physical line. Malformed
// UTF-8 becomes one U+FFFD per ill-formed subsequence. A value that begins
// with =, +, -, @, tab or CR gets a leading ' so no spreadsheet takes it
// for a formula. The field is quoted (quotes doubled) when it holds a
// comma, a semicolon (the separator of some spreadsheet locales), a quote,
// or begins or ends with a space.
std::string csvField(const std::string& bytes);

// For log windows and terminals: nothing in it is obeyed. Malformed UTF-8
// is written byte by byte as \xNN (always 0x80 or above, so it cannot be
// mistaken for an escaped control character).
std::string displayText(const std::string& bytes);

// A JSON string literal, quotes included, in UTF-8. JSON's own escapes for
// ", \ and C0 controls (\b \f \n \r \t, else \u00NN); DEL, C1 controls,
// direction controls and the separators as \uNNNN too, so a log read in a
// terminal obeys none of them. Malformed UTF-8 becomes U+FFFD as in
// csvField (JSON cannot carry raw bytes); callers that must keep the bytes
// add them in hex beside it.
std::string jsonString(const std::string& bytes);

// True when `bytes` is well-formed UTF-8 (empty included).
bool isValidUtf8(const std::string& bytes);

} // namespace brelvo
