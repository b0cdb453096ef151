#include "dat_builder.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "lrs_encoder.hpp"

namespace qm_test {

using quillmere_dat::DatFileEntry;

void put_u32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  if (out.size() < at + 4) out.resize(at + 4);
  std::memcpy(out.data() + at, &v, 4);
}
void append_u32(std::vector<std::uint8_t>& out, std::uint32_t v) { put_u32(out, out.size(), v); }

DatBuilder::DatBuilder(std::uint32_t block_size, std::uint32_t dataset, std::uint32_t magic) {
  header_.magic = magic;
  header_.block_size = block_size;
  header_.dataset = dataset;
  const std::uint32_t bs = std::max<std::uint32_t>(block_size, 1);
  image_.assign((400 + bs - 1) / bs * bs, 0);
}

DatBuilder& DatBuilder::add(std::uint32_t id, std::vector<std::uint8_t> payload, bool compressed) {
  if (compressed) payload = lrs_compress(payload);
  const auto size = static_cast<std::uint32_t>(payload.size());
  pending_.push_back({id, compressed ? 1u : 0u, size, std::move(payload)});
  return *this;
}

DatBuilder& DatBuilder::add_stored(std::uint32_t id, std::vector<std::uint8_t> stored, std::uint32_t flags,
                                   std::uint32_t size) {
  pending_.push_back({id, flags, size, std::move(stored)});
  return *this;
}

DatBuilder& DatBuilder::scatter(std::uint32_t seed) {
  scatter_ = true;
  rng_ = seed ? seed : 1;
  return *this;
}

DatBuilder& DatBuilder::tree_shape(std::uint32_t entries_per_node, std::uint32_t children_per_node) {
  per_node_ = std::clamp<std::uint32_t>(entries_per_node, 1, 61);
  children_ = std::clamp<std::uint32_t>(children_per_node, 1, 62);
  return *this;
}

DatBuilder& DatBuilder::root(std::uint32_t offset) {
  header_.root_offset = offset;
  explicit_root_ = true;
  return *this;
}

std::uint32_t DatBuilder::alloc_block() {
  const auto at = image_.size();
  image_.resize(at + header_.block_size);
  return static_cast<std::uint32_t>(at);
}

std::uint32_t DatBuilder::put_chain(std::span<const std::uint8_t> data) {
  if (header_.block_size < 5) throw std::logic_error("block size too small for chains");
  const std::size_t per = header_.block_size - 4;
  const std::size_t count = std::max<std::size_t>(1, (data.size() + per - 1) / per);
  std::vector<std::uint32_t> blocks(count);
  for (auto& b : blocks) b = alloc_block();
  if (scatter_) {
    for (std::size_t i = count; i > 1; --i) {
      rng_ = rng_ * 1103515245u + 12345u;
      std::swap(blocks[i - 1], blocks[(rng_ >> 8) % i]);
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    put_u32(image_, blocks[i], i + 1 < count ? blocks[i + 1] : 0);
    const std::size_t from = i * per, n = std::min(per, data.size() - std::min(from, data.size()));
    if (n) std::memcpy(image_.data() + blocks[i] + 4, data.data() + from, n);
  }
  return blocks[0];
}

std::vector<std::uint8_t> DatBuilder::node_bytes(const std::array<std::uint32_t, 62>& branches,
                                                 const std::vector<DatFileEntry>& entries, std::int64_t count) {
  std::vector<std::uint8_t> node(quillmere_dat::DatDatabase::kNodeSize, 0);
  for (std::size_t j = 0; j < 62; ++j) put_u32(node, 4 * j, branches[j]);
  put_u32(node, 248, count < 0 ? static_cast<std::uint32_t>(entries.size()) : static_cast<std::uint32_t>(count));
  std::size_t at = 252;
  for (const auto& e : entries) {
    if (at + 24 > node.size()) break;
    for (std::uint32_t v : {e.bit_flags, e.id, e.offset, e.size, e.timestamp, e.version}) {
      put_u32(node, at, v);
      at += 4;
    }
  }
  return node;
}

std::uint32_t DatBuilder::put_node(const std::array<std::uint32_t, 62>& branches,
                                   const std::vector<DatFileEntry>& entries, std::int64_t count) {
  return put_chain(node_bytes(branches, entries, count));
}

std::uint32_t DatBuilder::build_tree(std::span<const DatFileEntry> entries) {
  std::array<std::uint32_t, 62> branches{};
  const std::size_t own = std::min<std::size_t>(per_node_, entries.size());
  std::vector<DatFileEntry> mine(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(own));
  auto rest = entries.subspan(own);
  if (!rest.empty()) {
    // The walk follows at most entry count + 1 branches. Use as few children as the rest needs,
    // so nodes stay full as in a real database instead of thinning out towards the leaves.
    const std::size_t max_kids = std::min<std::size_t>(children_, own + 1);
    std::size_t subtree = per_node_;  // entries a child subtree of the current height can hold
    while (subtree * max_kids < rest.size()) subtree = per_node_ + max_kids * subtree;
    const std::size_t kids = std::min(max_kids, (rest.size() + subtree - 1) / subtree);
    for (std::size_t j = 0; j < kids; ++j) {
      const std::size_t n = (rest.size() + (kids - j) - 1) / (kids - j);
      branches[j] = build_tree(rest.first(n));
      rest = rest.subspan(n);
    }
  }
  return put_node(branches, mine);
}

std::vector<std::uint8_t> DatBuilder::build() {
  if (!explicit_root_) {
    entries_.clear();
    for (const auto& p : pending_) {
      DatFileEntry e;
      e.bit_flags = p.flags;
      e.id = p.id;
      e.size = p.size;
      e.offset = p.stored.empty() ? 0 : put_chain(p.stored);
      e.timestamp = 0x5F000000u + p.id % 1000;
      e.version = 1;
      entries_.push_back(e);
    }
    std::vector<DatFileEntry> sorted = entries_;
    std::stable_sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.id < b.id; });
    header_.root_offset = header_.block_size >= 5 ? build_tree(sorted) : 0;
    pending_.clear();
  }
  if (header_.file_size == 0) header_.file_size = static_cast<std::uint32_t>(image_.size());
  const auto& h = header_;
  std::size_t at = quillmere_dat::kDatHeaderOffset;
  for (std::uint32_t v : {h.magic, h.block_size, h.file_size, h.dataset, h.subset, h.free_head, h.free_tail,
                          h.free_count, h.root_offset, h.new_lru, h.old_lru, h.use_lru, h.master_map_id,
                          h.engine_version, h.game_version}) {
    put_u32(image_, at, v);
    at += 4;
  }
  std::memcpy(image_.data() + at, h.version_string.data(), 16);
  put_u32(image_, at + 16, h.version_minor);
  return image_;
}

void DatBuilder::write(const std::filesystem::path& path) {
  const auto bytes = build();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace qm_test
