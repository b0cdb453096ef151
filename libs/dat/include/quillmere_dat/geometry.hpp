#pragma once
// Record readers for the shared geometry values.
#include "quillmere_common/math.hpp"
#include "quillmere_dat/byte_cursor.hpp"

namespace quillmere_dat {

ReadResult<quillmere_common::math::Vector3> read_vector3(ByteCursor& cursor);
ReadResult<quillmere_common::math::Quaternion> read_quaternion(ByteCursor& cursor);

}  // namespace quillmere_dat
