// Splitting a text file's contents into lines, for the loaders of the project's text files.
#pragma once

#include <string_view>

namespace falatro {

/// Calls fn(line) for every line of text, in order: lines end at LF, a CR before the LF is dropped,
/// and a last line without LF is still given. An empty text gives no line.
template <typename Fn>
void ForEachLine(std::string_view text, Fn fn) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    fn(line);
    start = end + 1;
  }
}

}  // namespace falatro
