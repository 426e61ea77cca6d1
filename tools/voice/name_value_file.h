// The voice builder's list files: "name = text" lines, blank lines and "#" comments.
#pragma once

#include <functional>
#include <string>

namespace falatro {

/// One line of a list file: the name before the first "=", the text after it (both without the
/// blanks at their ends; the text is empty when the line has no "="), and "path:line: " for messages.
struct NameValueLine {
  std::string Name;
  std::string Value;
  bool HasEquals = false;
  std::string Where;
};

/// Calls take for every line that is neither blank nor a comment, in order. take returns an empty
/// text to go on, or a message that stops the reading; that message, or "cannot read path", goes to
/// *error and the result is false.
bool ReadNameValueFile(const std::string& path, const std::function<std::string(const NameValueLine&)>& take,
                       std::string* error);

}  // namespace falatro
