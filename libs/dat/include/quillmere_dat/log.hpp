#pragma once
// A minimal logging hook: library code that has something worth a warning hands a record to a
// sink its caller passed in. Nothing is installed by default, so nothing is shown.
#include <functional>
#include <string_view>

namespace quillmere_dat::log {

enum class Level { Error, Warn, Info, Debug, Trace };

struct Record {
  Level level = Level::Warn;
  std::string_view target;   // the module that logs, e.g. "quillmere_dat::archive"
  std::string_view message;
};

using Sink = std::function<void(const Record&)>;

inline void emit(const Sink& sink, Level level, std::string_view target, std::string_view message) {
  if (sink) sink(Record{level, target, message});
}

}  // namespace quillmere_dat::log
