#include "quillmere_dat/archive/writer.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include "zstd_codec.hpp"

namespace quillmere_dat::archive {

namespace {

using utils::write_all;

// A fixed record that cannot be written is a record-codec failure around the I/O error.
DatError record_write_error(IoError err) { return DatError::bin_read(ReadError::io(std::move(err))); }

// Buffers fixed records; a failure while storing one is a record error, the final flush an I/O one.
class RecordBuffer {
 public:
  explicit RecordBuffer(int fd) : fd_(fd) { buf_.reserve(kCapacity); }

  template <class Record>
  DatResult<void> put(const Record& record) {
    if (buf_.size() + Record::kSize > kCapacity) {
      if (auto r = write_all(fd_, buf_); !r) return std::unexpected(record_write_error(r.error()));
      buf_.clear();
    }
    record.write(buf_);
    return {};
  }
  // Only as the first record: the empty buffer has room.
  void put_u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) buf_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  DatResult<void> flush() {
    if (auto r = write_all(fd_, buf_); !r) return std::unexpected(DatError::io(r.error()));
    buf_.clear();
    return {};
  }

 private:
  static constexpr std::size_t kCapacity = 64 * 1024;
  int fd_;
  std::vector<std::uint8_t> buf_;
};

DatResult<std::uint64_t> current_position(int fd) {
  const off_t pos = ::lseek(fd, 0, SEEK_CUR);
  if (pos < 0) return std::unexpected(DatError::io(IoError::from_errno(errno)));
  return static_cast<std::uint64_t>(pos);
}

DatResult<utils::File> create_truncated(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(DatError::io(IoError::from_errno(errno)));
  return utils::File(fd);
}

bool key_less(const QmaEntry& a, const QmaEntry& b) {
  if (a.namespace_bytes != b.namespace_bytes) return a.namespace_bytes < b.namespace_bytes;
  return a.file_id < b.file_id;
}

DatError too_many_entries(std::uint32_t limit) {
  return DatError::other(fmt::format("QMA archives hold at most {} entries", limit));
}

DatError payload_too_large(std::string_view ns, std::uint32_t file_id, std::uint64_t size) {
  return DatError::other(fmt::format("Payload of {}:{:08X} is {} bytes; QMA entries must be smaller than 4 GiB",
                                     ns, file_id, size));
}

std::uint32_t effective_limit(const QmaWriteOptions& o) { return std::min(o.entry_limit, kQmaMaxEntries); }

}  // namespace

// ---- QmaStreamWriter ----

QmaStreamWriter::QmaStreamWriter(utils::File file, QmaWriteOptions options)
    : file_(std::move(file)), options_(std::move(options)) {
  if (options_.compress) compressor_ = std::make_unique<detail::Compressor>();
}

QmaStreamWriter::QmaStreamWriter(QmaStreamWriter&&) noexcept = default;
QmaStreamWriter::~QmaStreamWriter() = default;

DatResult<QmaStreamWriter> QmaStreamWriter::create(utils::File file, QmaWriteOptions options) {
  QmaStreamWriter writer(std::move(file), std::move(options));
  std::vector<std::uint8_t> header;
  QmaHeader{}.write(header);  // magic, version 2, everything else 0
  if (auto r = write_all(writer.file_.fd(), header); !r) return std::unexpected(record_write_error(r.error()));
  return writer;
}

DatResult<void> QmaStreamWriter::add(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                                     std::span<const std::uint8_t> payload) {
  return write_entry(ns, file_id, type_id, payload, 0);
}

DatResult<void> QmaStreamWriter::add_pruned(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                                            std::span<const std::uint8_t> payload) {
  return write_entry(ns, file_id, type_id, payload, kFlagPruned);
}

DatResult<void> QmaStreamWriter::write_entry(std::string_view label, std::uint32_t file_id, std::uint32_t type_id,
                                             std::span<const std::uint8_t> payload, std::uint8_t flags) {
  if (finished_) return std::unexpected(DatError::other("QMA stream writer is already finished"));
  QM_TRY(auto ns, ResourceNamespace::create(label));
  // The index fields are 32-bit: refuse what they cannot describe before recording anything.
  if (payload.size() > kQmaMaxPayloadSize) return std::unexpected(payload_too_large(label, file_id, payload.size()));
  if (entries_.size() >= effective_limit(options_)) return std::unexpected(too_many_entries(effective_limit(options_)));
  if (!seen_.insert(Key{ns, file_id}).second)
    return std::unexpected(DatError::duplicate_namespaced_id(std::string(label), file_id));

  std::vector<std::uint8_t> frame;
  std::span<const std::uint8_t> stored = payload;
  if (compressor_) {
    auto outcome = compressor_->compress(payload);
    if (auto* shorter = std::get_if<detail::Compressor::Shorter>(&outcome)) {
      frame = std::move(shorter->frame);
      stored = frame;
      flags |= kFlagCompressed;
    } else if (auto* failed = std::get_if<detail::Compressor::Failed>(&outcome)) {
      log::emit(options_.log, log::Level::Warn, kArchiveLogTarget,
                fmt::format("Compression failed for {}:0x{:08X}: {}", label, file_id, failed->reason));
    }
  }

  QM_TRY(const std::uint64_t offset, current_position(file_.fd()));
  if (auto r = write_all(file_.fd(), stored); !r) return std::unexpected(DatError::io(r.error()));

  QmaEntry entry;
  entry.namespace_bytes = ns.bytes();
  entry.file_id = file_id;
  entry.type_id = type_id;
  entry.offset = offset;
  entry.size = static_cast<std::uint32_t>(payload.size());
  entry.comp_size = static_cast<std::uint32_t>(stored.size());
  entry.flags = flags;
  entries_.push_back(entry);
  return {};
}

DatResult<void> QmaStreamWriter::finish() {
  if (finished_) return std::unexpected(DatError::other("QMA stream writer is already finished"));
  finished_ = true;
  compressor_.reset();
  seen_ = {};
  std::stable_sort(entries_.begin(), entries_.end(), key_less);

  std::vector<QmaNamespaceIndexEntry> spans;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (spans.empty() || spans.back().namespace_bytes != entries_[i].namespace_bytes)
      spans.push_back({entries_[i].namespace_bytes, static_cast<std::uint32_t>(i), 0});
    ++spans.back().entry_count;
  }

  const int fd = file_.fd();
  // The metadata block starts right after the last payload, and the index right after it.
  QM_TRY(const std::uint64_t metadata_start, current_position(fd));
  const std::uint64_t index_offset = metadata_start + 4 + QmaNamespaceIndexEntry::kSize * spans.size();
  RecordBuffer out(fd);
  out.put_u32(static_cast<std::uint32_t>(spans.size()));
  for (const auto& span : spans) QM_TRY_VOID(out.put(span));
  for (const auto& entry : entries_) QM_TRY_VOID(out.put(entry));
  QM_TRY_VOID(out.flush());

  QmaHeader header;
  header.entry_count = static_cast<std::uint32_t>(entries_.size());
  header.index_offset = index_offset;
  header.metadata_size = static_cast<std::uint32_t>(index_offset - metadata_start);
  if (::lseek(fd, 0, SEEK_SET) < 0) return std::unexpected(DatError::io(IoError::from_errno(errno)));
  std::vector<std::uint8_t> raw;
  header.write(raw);
  if (auto r = write_all(fd, raw); !r) return std::unexpected(record_write_error(r.error()));

  entries_ = {};
  if (::close(file_.release()) != 0) return std::unexpected(DatError::io(IoError::from_errno(errno)));
  return {};
}

// ---- QmaWriter ----

DatResult<void> QmaWriter::insert(std::string_view label, std::uint32_t file_id, std::uint32_t type_id,
                                  std::vector<std::uint8_t> payload, bool pruned, std::uint64_t size,
                                  PayloadLoader load) {
  QM_TRY(auto ns, ResourceNamespace::create(label));
  if (size > kQmaMaxPayloadSize) return std::unexpected(payload_too_large(label, file_id, size));
  auto key = std::make_pair(ns, file_id);
  if (entries_.contains(key)) return std::unexpected(DatError::duplicate_namespaced_id(std::string(label), file_id));
  if (entries_.size() >= effective_limit(options_)) return std::unexpected(too_many_entries(effective_limit(options_)));
  entries_.emplace(key, Value{type_id, std::move(payload), pruned, std::move(load)});
  return {};
}

DatResult<void> QmaWriter::add(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                               std::vector<std::uint8_t> payload) {
  const std::uint64_t size = payload.size();
  return insert(ns, file_id, type_id, std::move(payload), false, size, {});
}

DatResult<void> QmaWriter::add_pruned(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                                      std::vector<std::uint8_t> payload) {
  const std::uint64_t size = payload.size();
  return insert(ns, file_id, type_id, std::move(payload), true, size, {});
}

DatResult<void> QmaWriter::add_deferred(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                                        std::uint64_t size, PayloadLoader load) {
  return insert(ns, file_id, type_id, {}, false, size, std::move(load));
}

DatResult<void> QmaWriter::write(const std::filesystem::path& path) {
  auto file = create_truncated(path);
  if (!file) {
    entries_.clear();
    return std::unexpected(std::move(file).error());
  }
  return write_to(std::move(*file));
}

DatResult<void> QmaWriter::write_to(utils::File file) {
  auto entries = std::move(entries_);
  entries_.clear();
  QM_TRY(auto stream, QmaStreamWriter::create(std::move(file), options_));
  // The map is ordered by (namespace bytes, file ID): the payloads land in index order. Each
  // payload is released once written.
  while (!entries.empty()) {
    auto node = entries.extract(entries.begin());
    const auto& [ns, file_id] = node.key();
    Value& v = node.mapped();
    if (v.load) {
      auto loaded = v.load();
      if (!loaded) return std::unexpected(std::move(loaded).error());
      if (loaded->size() > kQmaMaxPayloadSize)
        return std::unexpected(payload_too_large(ns.as_str(), file_id, loaded->size()));
      v.payload = std::move(*loaded);
    }
    auto r = v.pruned ? stream.add_pruned(ns.as_str(), file_id, v.type_id, v.payload)
                      : stream.add(ns.as_str(), file_id, v.type_id, v.payload);
    if (!r) return r;
  }
  return stream.finish();
}

}  // namespace quillmere_dat::archive
