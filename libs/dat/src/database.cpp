#include "quillmere_dat/database.hpp"

#include <algorithm>
#include <unordered_set>

#include <fmt/format.h>

#include "quillmere_dat/lrs.hpp"

namespace quillmere_dat {

ReadResult<DatHeader> DatHeader::read(ByteCursor& c) {
  RecordScope r(c, "DatHeader");
  DatHeader h;
  QM_TRY(h.magic, r.field("magic", c.read_u32()));
  QM_TRY(h.block_size, r.field("block_size", c.read_u32()));
  QM_TRY(h.file_size, r.field("file_size", c.read_u32()));
  QM_TRY(h.dataset, r.field("dataset", c.read_u32()));
  QM_TRY(h.subset, r.field("subset", c.read_u32()));
  QM_TRY(h.free_head, r.field("free_head", c.read_u32()));
  QM_TRY(h.free_tail, r.field("free_tail", c.read_u32()));
  QM_TRY(h.free_count, r.field("free_count", c.read_u32()));
  QM_TRY(h.root_offset, r.field("root_offset", c.read_u32()));
  QM_TRY(h.new_lru, r.field("new_lru", c.read_u32()));
  QM_TRY(h.old_lru, r.field("old_lru", c.read_u32()));
  QM_TRY(h.use_lru, r.field("use_lru", c.read_u32()));
  QM_TRY(h.master_map_id, r.field("master_map_id", c.read_u32()));
  QM_TRY(h.engine_version, r.field("engine_version", c.read_u32()));
  QM_TRY(h.game_version, r.field("game_version", c.read_u32()));
  // A byte list, not a fixed-width integer: its shortfall has its own message.
  ReadResult<std::span<const std::uint8_t>> version =
      c.remaining() < 16 ? ReadResult<std::span<const std::uint8_t>>(std::unexpected(ReadError::not_enough_bytes()))
                         : c.read_bytes(16);
  QM_TRY(auto vs, r.field("version_string", std::move(version)));
  std::copy(vs.begin(), vs.end(), h.version_string.begin());
  QM_TRY(h.version_minor, r.field("version_minor", c.read_u32()));
  return h;
}

ReadResult<DatFileEntry> DatFileEntry::read(ByteCursor& c) {
  RecordScope r(c, "DatFileEntry");
  DatFileEntry e;
  QM_TRY(e.bit_flags, r.field("bit_flags", c.read_u32()));
  QM_TRY(e.id, r.field("id", c.read_u32()));
  QM_TRY(e.offset, r.field("offset", c.read_u32()));
  QM_TRY(e.size, r.field("size", c.read_u32()));
  QM_TRY(e.timestamp, r.field("timestamp", c.read_u32()));
  QM_TRY(e.version, r.field("version", c.read_u32()));
  return e;
}

DatResult<DatDatabase> DatDatabase::open(const std::filesystem::path& path) {
  auto file = utils::File::open_read(path);
  if (!file) return std::unexpected(DatError::path_error(path, file.error()));
  auto len = utils::len_compat(*file);
  if (!len) return std::unexpected(DatError::io(len.error()));

  // Read what the file holds of the header; the record reader names the first missing field.
  std::vector<std::uint8_t> raw;
  if (*len > kDatHeaderOffset) {
    raw.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kDatHeaderSize, *len - kDatHeaderOffset)));
    if (auto r = utils::read_exact_at_compat(*file, raw, kDatHeaderOffset); !r)
      return std::unexpected(DatError::io(r.error()));
  }
  ByteCursor cursor(raw);
  auto header = DatHeader::read(cursor);
  if (!header) return std::unexpected(DatError::bin_read(std::move(header).error()));

  DatDatabase db(std::move(*file), *header, *len);
  if (auto r = db.read_directory(); !r) return std::unexpected(std::move(r).error());
  return db;
}

DatResult<std::vector<std::uint8_t>> DatDatabase::read_file_data(std::uint32_t offset, std::uint32_t size) const {
  return read_chain(offset, size, nullptr);
}

DatResult<void> DatDatabase::read_at(std::span<std::uint8_t> dst, std::uint64_t offset, ReadWindow* window) const {
  constexpr std::size_t kWindowSize = 16 * 1024;
  if (window && dst.size() <= kWindowSize / 2) {
    auto& w = *window;
    if (offset < w.start || offset + dst.size() > w.start + w.bytes.size()) {
      w.start = offset;
      w.bytes.resize(offset < file_len_ ? static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, file_len_ - offset)) : 0);
      if (auto r = utils::read_exact_at_compat(file_, w.bytes, offset); !r) {
        w.bytes.clear();
        return std::unexpected(DatError::io(r.error()));
      }
      if (w.bytes.size() < dst.size()) return std::unexpected(DatError::io(IoError::unexpected_eof()));
    }
    std::memcpy(dst.data(), w.bytes.data() + (offset - w.start), dst.size());
    return {};
  }
  if (auto r = utils::read_exact_at_compat(file_, dst, offset); !r) return std::unexpected(DatError::io(r.error()));
  return {};
}

DatResult<std::vector<std::uint8_t>> DatDatabase::read_chain(std::uint32_t offset, std::uint32_t size,
                                                             ReadWindow* window) const {
  if (size == 0) return std::vector<std::uint8_t>{};
  // No chain of distinct bytes is longer than the file; refuse before reserving the memory.
  if (size > file_len_) return std::unexpected(DatError::io(IoError::unexpected_eof()));
  if (header_.block_size < 5)
    return std::unexpected(DatError::corruption(
        fmt::format("block size {} leaves no room for data in a block", header_.block_size)));

  std::vector<std::uint8_t> out(size);
  const std::uint32_t per_block = header_.block_size - 4;
  std::size_t filled = 0;
  std::uint64_t block = offset;  // 64-bit, so a data start past 2^32 stays exact
  for (;;) {
    std::uint8_t link_bytes[4];
    QM_TRY_VOID(read_at(link_bytes, block, window));
    std::uint32_t next;
    std::memcpy(&next, link_bytes, 4);
    const std::size_t wanted = size - filled;
    const std::size_t n = next == 0 ? wanted : std::min<std::size_t>(per_block, wanted);
    QM_TRY_VOID(read_at(std::span(out).subspan(filled, n), block + 4, window));
    filled += n;
    if (filled == size) break;
    block = next;
  }
  return out;
}

DatResult<void> DatDatabase::read_directory() {
  if (header_.root_offset == 0) return {};
  std::unordered_set<std::uint32_t> visited;
  ReadWindow window;

  // Pre-order, depth-first, children in branch order; depth and revisits are bounded so a
  // corrupt tree ends with an error instead of looping or exhausting the stack.
  struct Walker {
    DatDatabase& db;
    std::unordered_set<std::uint32_t>& visited;
    ReadWindow& window;
    DatResult<void> node(std::uint32_t offset, std::uint32_t depth) {
      if (depth > kMaxTreeDepth)
        return std::unexpected(DatError::corruption(
            fmt::format("directory tree is deeper than {} levels at node offset {}", kMaxTreeDepth, offset)));
      if (!visited.insert(offset).second)
        return std::unexpected(
            DatError::corruption(fmt::format("directory node at offset {} is reached twice", offset)));
      auto bytes = db.read_chain(offset, kNodeSize, &window);
      if (!bytes) return std::unexpected(std::move(bytes).error());
      std::uint32_t branches[kNodeBranches];
      std::memcpy(branches, bytes->data(), sizeof branches);
      std::uint32_t count;
      std::memcpy(&count, bytes->data() + 248, 4);

      ByteCursor cursor(*bytes, kNodeEntriesOffset);
      for (std::uint32_t k = 0; k < count; ++k) {
        auto entry = DatFileEntry::read(cursor);
        if (!entry) return std::unexpected(DatError::bin_read(std::move(entry).error()));
        db.entries_.insert_or_assign(entry->id, *entry);
      }
      if (branches[0] == 0) return {};
      const std::uint32_t last = std::min<std::uint32_t>(count, kNodeBranches - 1);
      for (std::uint32_t j = 0; j <= last; ++j) {
        if (branches[j] == 0) continue;
        if (auto r = node(branches[j], depth + 1); !r) return r;
      }
      return {};
    }
  };
  return Walker{*this, visited, window}.node(header_.root_offset, 1);
}

DatResult<std::vector<std::uint8_t>> DatDatabase::get_file(std::uint32_t id) const {
  auto it = entries_.find(id);
  if (it == entries_.end()) return std::unexpected(DatError::not_found(id));
  auto data = read_file_data(it->second.offset, it->second.size);
  if (!data) return data;
  if (it->second.is_compressed()) return utils::decompress_lrs(*data);
  return data;
}

std::vector<std::uint32_t> DatDatabase::sorted_ids() const {
  std::vector<std::uint32_t> ids;
  ids.reserve(entries_.size());
  for (const auto& [id, _] : entries_) ids.push_back(id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace quillmere_dat
