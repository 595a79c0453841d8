// The module's string table read from its source (resources/strings.rc, its
// ids from resources/resource_ids.h), so that the pure code is tested and
// fuzzed with the very texts the module loads on Windows.
#pragma once

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "command/result_marking.h"

#ifndef QL_SOURCE_DIR
#error "QL_SOURCE_DIR names the repository whose string table is read"
#endif

namespace string_table {

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(std::string(QL_SOURCE_DIR) + "/resources/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text of a quoted resource string: "" is a quote, \n a line feed.
inline std::string Unquote(const std::string& line, size_t open) {
  std::string text;
  for (size_t i = open + 1; i < line.size(); ++i) {
    if (line[i] == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        text += '"';
        ++i;
        continue;
      }
      break;
    }
    if (line[i] == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      text += next == 'n' ? '\n' : next == 't' ? '\t' : next;
      continue;
    }
    text += line[i];
  }
  return text;
}

inline std::map<int, std::string> Load() {
  std::map<std::string, int> ids;
  std::istringstream header(ReadFile("resource_ids.h"));
  for (std::string line; std::getline(header, line);) {
    std::istringstream words(line);
    std::string define, name;
    int id = 0;
    if (words >> define >> name >> id && define == "#define") ids[name] = id;
  }
  std::map<int, std::string> table;
  std::istringstream rc(ReadFile("strings.rc"));
  for (std::string line; std::getline(rc, line);) {
    std::istringstream words(line);
    std::string name;
    const size_t open = line.find('"');
    if (!(words >> name) || open == std::string::npos || ids.count(name) == 0) continue;
    table[ids[name]] = Unquote(line, open);
  }
  return table;
}

inline const std::string& Text(int id) {
  static const std::map<int, std::string> table = Load();
  static const std::string none;
  const auto found = table.find(id);
  return found == table.end() ? none : found->second;
}

inline const MarkerTexts& Markers() {
  static const MarkerTexts texts = LoadMarkerTexts([](int id) { return Text(id); });
  return texts;
}

}  // namespace string_table
