#include "quillmere_tools/spell_export.hpp"
