// Just enough JSON for tilldiag's reports: objects, arrays, strings, numbers and booleans,
// written in order, with the commas where they belong.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tilldiag {

class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view value);
  JsonWriter& Number(std::int64_t value);
  JsonWriter& Number(double value);  // three decimals: milliseconds
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  const std::string& Text() const { return text_; }

 private:
  // An object or an array, which holds no element yet.
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);
  void BeforeValue();
  std::string text_;
  // Per open container: whether it already holds an element.
  std::vector<bool> holdsElement_;
  bool afterKey_ = false;
};

// The value as a JSON string literal, quotes included. Texts are UTF-8 and pass through; control
// characters, quotes and backslashes are escaped; bytes that are not UTF-8 become U+FFFD, so the
// output always parses.
std::string JsonQuoted(std::string_view value);

}  // namespace tilldiag
