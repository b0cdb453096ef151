#pragma once
// The front end's error: a message and the chain of causes below it, as the report prints them.
#include <cstdio>
#include <expected>
#include <string>
#include <vector>

#include "quillmere_dat/error.hpp"

namespace dat_tool {

struct Error {
  std::vector<std::string> chain;  // the message, then each cause, outermost first

  static Error msg(std::string message) { return Error{{std::move(message)}}; }
  static Error from(const quillmere_dat::DatError& err);
  static Error from_io(const quillmere_dat::IoError& err) { return msg(err.message); }
  // Wraps this error under a new message.
  Error context(std::string message) &&;
  const std::string& message() const { return chain.front(); }
};

template <class T>
using Result = std::expected<T, Error>;

// "Error: {message}", then, when there are causes, a blank line, "Caused by:" and the causes.
std::string format_report(const Error& err);

}  // namespace dat_tool
