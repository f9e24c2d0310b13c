#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane {

/// Removes every leading and trailing character whose code is 32 or less.
std::string_view TrimControl(std::string_view text);

/// ASCII letters upper-cased; every other byte unchanged.
std::string AsciiUpper(std::string_view text);

/// Equality that ignores the case of ASCII letters only.
bool SameTextAscii(std::string_view a, std::string_view b);

/// Starts-with that ignores the case of ASCII letters only.
bool StartsWithAscii(std::string_view text, std::string_view prefix);

/// A character of an unquoted SQL name: ASCII letter, digit, "_" or "$".
bool IsIdentifierChar(char c);

/// An unquoted SQL name: an ASCII letter, then identifier characters.
bool IsPlainIdentifier(std::string_view text);

/// A signed decimal 32-bit integer (an optional sign, then digits), or nothing.
std::optional<std::int32_t> TryStrToInt32(std::string_view text);

/// As TryStrToInt32, but raises EConvertError "'text' is not a valid integer value".
std::int32_t StrToInt32(std::string_view text);

/// The message of the conversion error for a text that is not an integer.
std::string NotAnIntegerMessage(std::string_view text);

/// Every occurrence of `from` replaced by `to`, left to right, without rescanning inserted text.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

/// A message of several lines on one line, as a memo line shows it: line breaks become one
/// blank, trailing blanks go.
std::string OneLine(std::string_view message);

} // namespace norvane
