#pragma once
// The seven property key enumerations.
#include "quillmere_common/properties/property_keys/bools.hpp"
#include "quillmere_common/properties/property_keys/data_ids.hpp"
#include "quillmere_common/properties/property_keys/floats.hpp"
#include "quillmere_common/properties/property_keys/instance_ids.hpp"
#include "quillmere_common/properties/property_keys/int64s.hpp"
#include "quillmere_common/properties/property_keys/ints.hpp"
#include "quillmere_common/properties/property_keys/strings.hpp"
