#include "quillmere_common/math.hpp"

namespace quillmere_common::math {
// Filled in with the primitive readers.
}
