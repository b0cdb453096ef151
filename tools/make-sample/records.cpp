#include "sample_parts.hpp"

namespace qm_sample {

// Spells, weenies and landblocks join the sample as their decoders land.
void add_portal_records(qm_test::DatBuilder&) {}
void write_extras(const std::filesystem::path&) {}

}  // namespace qm_sample
