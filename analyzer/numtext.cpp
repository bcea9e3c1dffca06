#include "analyzer/numtext.h"

#include <charconv>
#include <cstring>
#include <string>

bool ParseDecimal(const char* text, double* value) {
  if (text == nullptr) return false;
  std::string s(text);
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  std::size_t from = 0;
  while (from < s.size() && blank(s[from])) ++from;
  s.erase(0, from);
  if (s.empty()) return false;
  for (char& c : s) {
    if (c == ',') c = '.';
  }
  // from_chars takes no leading '+', which a person may type.
  const char* first = s.data() + (s[0] == '+' && s.size() > 1 && s[1] != '-' ? 1 : 0);
  const char* last = s.data() + s.size();
  double v = 0.0;
  const auto [end, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || end != last) return false;
  *value = v;
  return true;
}
