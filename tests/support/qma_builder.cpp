#include "qma_builder.hpp"

#include <algorithm>
#include <stdexcept>

namespace qm_test {

NsBytes ns_bytes(std::string_view label) {
  NsBytes b{};
  std::copy_n(label.begin(), std::min(label.size(), b.size()), b.begin());
  return b;
}

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put_u64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<std::uint8_t> encode_header(const std::array<std::uint8_t, 4>& magic, std::uint32_t version,
                                        std::uint32_t entry_count, std::uint64_t index_offset,
                                        std::uint32_t metadata_size) {
  std::vector<std::uint8_t> out(magic.begin(), magic.end());
  put_u32(out, version);
  put_u32(out, entry_count);
  put_u64(out, index_offset);
  put_u32(out, metadata_size);
  return out;
}

std::vector<std::uint8_t> encode_record(const QmaRecord& r) {
  std::vector<std::uint8_t> out(r.ns.begin(), r.ns.end());
  put_u32(out, r.file_id);
  put_u32(out, r.type_id);
  put_u64(out, r.offset);
  put_u32(out, r.size);
  put_u32(out, r.comp_size);
  out.push_back(r.flags);
  out.push_back(r.storage_id);
  put_u16(out, r.reserved);
  return out;
}

std::vector<std::uint8_t> encode_span(const QmaSpanRecord& s) {
  std::vector<std::uint8_t> out(s.ns.begin(), s.ns.end());
  put_u32(out, s.start_index);
  put_u32(out, s.entry_count);
  return out;
}

QmaArchiveBuilder& QmaArchiveBuilder::add(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                                          std::vector<std::uint8_t> stored, std::uint8_t flags,
                                          std::optional<std::uint32_t> size) {
  QmaRecord r;
  r.ns = ns_bytes(ns);
  r.file_id = file_id;
  r.type_id = type_id;
  r.offset = payload_end_;
  r.comp_size = static_cast<std::uint32_t>(stored.size());
  r.size = size.value_or(r.comp_size);
  r.flags = flags;
  payload_end_ += stored.size();
  payloads_.push_back(std::move(stored));
  records_.push_back(r);
  return *this;
}

std::vector<QmaSpanRecord> QmaArchiveBuilder::derived_spans() const {
  std::vector<QmaSpanRecord> out;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (out.empty() || out.back().ns != records_[i].ns) out.push_back({records_[i].ns, static_cast<std::uint32_t>(i), 0});
    ++out.back().entry_count;
  }
  return out;
}

std::vector<std::uint8_t> QmaArchiveBuilder::build() const {
  std::vector<std::uint8_t> block;
  if (metadata) {
    block = *metadata;
  } else if (!omit_metadata) {
    const auto list = spans ? *spans : derived_spans();
    put_u32(block, static_cast<std::uint32_t>(list.size()));
    for (const auto& s : list) {
      auto e = encode_span(s);
      block.insert(block.end(), e.begin(), e.end());
    }
  }
  const std::uint64_t derived_index = payload_end_ + block.size();
  auto out = encode_header(magic.value_or(std::array<std::uint8_t, 4>{0x51, 0x4D, 0x41, 0x00}), version.value_or(2),
                           entry_count.value_or(static_cast<std::uint32_t>(records_.size())),
                           index_offset.value_or(derived_index),
                           metadata_size.value_or(static_cast<std::uint32_t>(block.size())));
  for (const auto& p : payloads_) out.insert(out.end(), p.begin(), p.end());
  out.insert(out.end(), block.begin(), block.end());
  for (const auto& r : records_) {
    auto e = encode_record(r);
    out.insert(out.end(), e.begin(), e.end());
  }
  out.insert(out.end(), trailing.begin(), trailing.end());
  return out;
}

namespace {

struct Reader {
  const std::vector<std::uint8_t>& bytes;
  std::uint64_t pos;
  std::uint64_t get(int n) {
    if (pos + static_cast<std::uint64_t>(n) > bytes.size()) throw std::runtime_error("archive too short");
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= std::uint64_t{bytes[pos + static_cast<std::uint64_t>(i)]} << (8 * i);
    pos += static_cast<std::uint64_t>(n);
    return v;
  }
  NsBytes ns() {
    if (pos + 32 > bytes.size()) throw std::runtime_error("archive too short");
    NsBytes b{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(pos), 32, b.begin());
    pos += 32;
    return b;
  }
};

}  // namespace

ParsedQma parse_qma(const std::vector<std::uint8_t>& bytes) {
  ParsedQma p;
  Reader r{bytes, 4};
  p.version = static_cast<std::uint32_t>(r.get(4));
  p.entry_count = static_cast<std::uint32_t>(r.get(4));
  p.index_offset = r.get(8);
  p.metadata_size = static_cast<std::uint32_t>(r.get(4));
  if (p.metadata_size >= 4) {
    r.pos = p.index_offset - p.metadata_size;
    const auto n = r.get(4);
    for (std::uint64_t k = 0; k < n; ++k) {
      QmaSpanRecord s;
      s.ns = r.ns();
      s.start_index = static_cast<std::uint32_t>(r.get(4));
      s.entry_count = static_cast<std::uint32_t>(r.get(4));
      p.spans.push_back(s);
    }
  }
  r.pos = p.index_offset;
  for (std::uint32_t i = 0; i < p.entry_count; ++i) {
    QmaRecord e;
    e.ns = r.ns();
    e.file_id = static_cast<std::uint32_t>(r.get(4));
    e.type_id = static_cast<std::uint32_t>(r.get(4));
    e.offset = r.get(8);
    e.size = static_cast<std::uint32_t>(r.get(4));
    e.comp_size = static_cast<std::uint32_t>(r.get(4));
    e.flags = static_cast<std::uint8_t>(r.get(1));
    e.storage_id = static_cast<std::uint8_t>(r.get(1));
    e.reserved = static_cast<std::uint16_t>(r.get(2));
    p.records.push_back(e);
  }
  return p;
}

}  // namespace qm_test
