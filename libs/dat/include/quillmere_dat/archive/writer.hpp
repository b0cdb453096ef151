#pragma once
// Writes QMA archives. QmaStreamWriter writes each payload as it is added and keeps only the
// index records; finish() appends the namespace metadata and the index and fills in the header.
// QmaWriter collects entries in memory and writes them sorted through a QmaStreamWriter.
#include <cstdint>
#include <functional>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "quillmere_dat/archive/namespace.hpp"
#include "quillmere_dat/archive/records.hpp"
#include "quillmere_dat/error.hpp"
#include "quillmere_dat/file.hpp"
#include "quillmere_dat/log.hpp"

namespace quillmere_dat::archive {

namespace detail {
class Compressor;
}

// Target of the writers' log records.
inline constexpr std::string_view kArchiveLogTarget = "quillmere_dat::archive";

struct QmaWriteOptions {
  bool compress = true;
  // Receives the warning logged when a payload cannot be compressed (it is then stored plain).
  log::Sink log;
  // The most entries an archive may take; values above kQmaMaxEntries are treated as it.
  std::uint32_t entry_limit = kQmaMaxEntries;
};

class QmaStreamWriter {
 public:
  // Takes over a newly created, empty file open for writing and writes the placeholder header.
  static DatResult<QmaStreamWriter> create(utils::File file, QmaWriteOptions options);
  static DatResult<QmaStreamWriter> create(utils::File file, bool compress) {
    QmaWriteOptions options;
    options.compress = compress;
    return create(std::move(file), std::move(options));
  }

  QmaStreamWriter(QmaStreamWriter&&) noexcept;
  QmaStreamWriter& operator=(QmaStreamWriter&&) = delete;
  ~QmaStreamWriter();

  // Writes one entry. Fails with InvalidNamespace, DuplicateNamespacedId, Other for a payload of
  // 4 GiB or more or one entry too many (nothing recorded then), or Io.
  DatResult<void> add(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                      std::span<const std::uint8_t> payload);
  // The same, with the pruned flag set.
  DatResult<void> add_pruned(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                             std::span<const std::uint8_t> payload);
  // Appends the metadata block and the index, rewrites the header and closes the file. The
  // writer takes no more entries afterwards, whatever the outcome.
  DatResult<void> finish();

  std::size_t entry_count() const { return entries_.size(); }

 private:
  struct Key {
    ResourceNamespace ns;
    std::uint32_t file_id;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const noexcept {
      return std::hash<ResourceNamespace>{}(k.ns) * 31 + k.file_id;
    }
  };

  QmaStreamWriter(utils::File file, QmaWriteOptions options);
  DatResult<void> write_entry(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                              std::span<const std::uint8_t> payload, std::uint8_t flags);

  utils::File file_;
  QmaWriteOptions options_;
  std::unique_ptr<detail::Compressor> compressor_;  // only with compression on
  std::vector<QmaEntry> entries_;
  std::unordered_set<Key, KeyHash> seen_;
  bool finished_ = false;
};

class QmaWriter {
 public:
  QmaWriter() = default;
  // An empty writer with compression on.
  static QmaWriter create() { return QmaWriter(); }

  void set_compress(bool compress) { options_.compress = compress; }
  bool compress() const { return options_.compress; }
  void set_log_sink(log::Sink sink) { options_.log = std::move(sink); }
  void set_entry_limit(std::uint32_t limit) { options_.entry_limit = limit; }

  // Records one entry, taking over the payload. A failing add changes nothing: InvalidNamespace,
  // DuplicateNamespacedId, or Other for a payload of 4 GiB or more or one entry too many.
  DatResult<void> add(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                      std::vector<std::uint8_t> payload);
  DatResult<void> add_pruned(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                             std::vector<std::uint8_t> payload);
  // An entry whose payload of `size` bytes is fetched by `load` only while `write` stores it, so
  // a large set of entries never sits in memory at once. The checks of `add` run now, on `size`;
  // a failing `load` ends `write` with its error.
  using PayloadLoader = std::function<DatResult<std::vector<std::uint8_t>>()>;
  DatResult<void> add_deferred(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                               std::uint64_t size, PayloadLoader load);
  std::size_t entry_count() const { return entries_.size(); }

  // Creates or truncates `path` and writes the archive, entries sorted by namespace and file ID.
  // The entries are moved out: the writer is empty afterwards, whatever the outcome.
  DatResult<void> write(const std::filesystem::path& path);
  // The same on a newly created, empty file open for writing, which the writer takes over.
  DatResult<void> write_to(utils::File file);

 private:
  struct Value {
    std::uint32_t type_id = 0;
    std::vector<std::uint8_t> payload;
    bool pruned = false;
    PayloadLoader load;  // set for a deferred entry
  };
  DatResult<void> insert(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                         std::vector<std::uint8_t> payload, bool pruned, std::uint64_t size, PayloadLoader load);

  std::map<std::pair<ResourceNamespace, std::uint32_t>, Value> entries_;
  QmaWriteOptions options_;
};

}  // namespace quillmere_dat::archive
