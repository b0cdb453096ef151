#include "error.hpp"

#include <fmt/format.h>

namespace dat_tool {

Error Error::from(const quillmere_dat::DatError& err) {
  Error out{{err.message()}};
  for (auto& c : err.causes()) out.chain.push_back(std::move(c));
  return out;
}

Error Error::context(std::string message) && {
  chain.insert(chain.begin(), std::move(message));
  return std::move(*this);
}

std::string format_report(const Error& err) {
  std::string out = fmt::format("Error: {}\n", err.chain.front());
  const std::size_t causes = err.chain.size() - 1;
  if (causes == 0) return out;
  out += "\nCaused by:\n";
  if (causes == 1) return out + fmt::format("    {}\n", err.chain[1]);
  for (std::size_t i = 1; i < err.chain.size(); ++i) out += fmt::format("{:>5}: {}\n", i - 1, err.chain[i]);
  return out;
}

}  // namespace dat_tool
