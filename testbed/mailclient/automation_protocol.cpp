#include "testbed/mailclient/automation_protocol.h"

#include <cstdio>

namespace automation {

bool Message::Has(std::string_view name) const {
  for (const auto& f : fields)
    if (f.first == name) return true;
  return false;
}

std::string Message::Get(std::string_view name) const {
  for (const auto& f : fields)
    if (f.first == name) return f.second;
  return {};
}

std::vector<std::string> Message::All(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& f : fields)
    if (f.first == name) values.push_back(f.second);
  return values;
}

Message& Message::Add(std::string name, std::string value) {
  fields.emplace_back(std::move(name), std::move(value));
  return *this;
}

std::string Escape(std::string_view value) {
  std::string out;
  out.reserve(value.size() + value.size() / 32);
  for (char c : value) {
    switch (c) {
      case '\\': out.append("\\\\"); break;
      case '\n': out.append("\\n"); break;
      case '\r': out.append("\\r"); break;
      case '\t': out.append("\\t"); break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string Unescape(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c != '\\' || i + 1 == value.size()) {
      out.push_back(c);
      continue;
    }
    char e = value[++i];
    switch (e) {
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case '\\': out.push_back('\\'); break;
      default:  // an unknown escape stays as written
        out.push_back('\\');
        out.push_back(e);
    }
  }
  return out;
}

std::string Encode(const Message& message) {
  std::string out = Escape(message.verb);
  for (const auto& [name, value] : message.fields) {
    out.push_back('\n');
    out.append(name);
    out.push_back('=');
    out.append(Escape(value));
  }
  return out;
}

std::optional<Message> Decode(std::string_view text) {
  Message message;
  size_t i = 0;
  bool first = true;
  while (i <= text.size()) {
    size_t eol = text.find('\n', i);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(i, eol - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    i = eol + 1;
    if (first) {
      if (line.empty()) return std::nullopt;
      message.verb = Unescape(line);
      first = false;
      continue;
    }
    if (line.empty()) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) return std::nullopt;
    message.Add(std::string(line.substr(0, eq)), Unescape(line.substr(eq + 1)));
  }
  if (first) return std::nullopt;
  return message;
}

std::string FormatHandle(std::uintptr_t handle) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(handle));
  return text;
}

std::optional<long long> ParseNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 16) return std::nullopt;
  unsigned long long value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return std::nullopt;
    value = value * base + digit;
  }
  if (value > 0x7FFFFFFFFFFFFFFFull) return std::nullopt;
  long long v = static_cast<long long>(value);
  return negative ? -v : v;
}

std::optional<std::uintptr_t> ParseHandle(std::string_view text) {
  std::optional<long long> n = ParseNumber(text);
  if (!n || *n < 0 || static_cast<unsigned long long>(*n) > UINTPTR_MAX) return std::nullopt;
  return static_cast<std::uintptr_t>(*n);
}

Message Ok() { return Message{"ok", {}}; }

Message Error(std::string text) {
  Message m{"error", {}};
  m.Add("message", std::move(text));
  return m;
}

}  // namespace automation
