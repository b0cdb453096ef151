#include "quillmere_dat/geometry.hpp"

namespace quillmere_dat {

ReadResult<quillmere_common::math::Vector3> read_vector3(ByteCursor& c) {
  RecordScope r(c, "Vector3");
  quillmere_common::math::Vector3 v;
  QM_TRY(v.x, r.field("x", c.read_f32()));
  QM_TRY(v.y, r.field("y", c.read_f32()));
  QM_TRY(v.z, r.field("z", c.read_f32()));
  return v;
}

ReadResult<quillmere_common::math::Quaternion> read_quaternion(ByteCursor& c) {
  RecordScope r(c, "Quaternion");
  quillmere_common::math::Quaternion q;
  QM_TRY(q.w, r.field("w", c.read_f32()));
  QM_TRY(q.x, r.field("x", c.read_f32()));
  QM_TRY(q.y, r.field("y", c.read_f32()));
  QM_TRY(q.z, r.field("z", c.read_f32()));
  return q;
}

}  // namespace quillmere_dat
