#pragma once
// Turns a decoded spell table into the export document.
namespace quillmere_tools::spell_export {}
