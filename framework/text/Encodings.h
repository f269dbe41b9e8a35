#pragma once
#include <string>

namespace framework {

enum class TextEncoding { MacJapanese, UTF8 };

// The platform's names for the encodings: Encodings::MacJapanese, Encodings::UTF8.
struct Encodings {
  static constexpr TextEncoding MacJapanese = TextEncoding::MacJapanese;
  static constexpr TextEncoding UTF8 = TextEncoding::UTF8;
};

// Bytes together with the encoding they are declared to be in.
struct EncodedText {
  std::string bytes;
  TextEncoding encoding;
};

// Declares the encoding of `text`; its bytes are not changed.
EncodedText DefineEncoding(const std::string& text, TextEncoding encoding);

// The text in the encoding `to`. Mac OS Japanese to UTF-8 follows the compiled-in mapping; a byte
// sequence with no mapping becomes U+FFFD. UTF-8 to Mac OS Japanese maps each character that has a
// one-character code and gives "?" for the others. The same encoding on both sides gives the bytes.
std::string ConvertEncoding(const EncodedText& text, TextEncoding to);

}  // namespace framework
