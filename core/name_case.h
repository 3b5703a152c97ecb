// When two file names are one on Windows: the file system upper-cases each UTF-16 unit through
// one table of the volume ($UpCase), one unit to one unit and without a locale, and compares the
// results. So "Çay.txt" and "çAY.TXT" meet, dotless "ı" meets "i" (both are "I"), and the German
// sharp s stays itself. The table is Unicode's simple upper-case mapping of the Basic Multilingual
// Plane (core/upcase_table.inc, from scripts/gen_upcase_table.py).
#pragma once

#include <cstdint>
#include <string_view>

namespace patcher {

// The upper case the file system compares `code_point` by; itself outside the table.
std::uint32_t UpcaseForNames(std::uint32_t code_point);

// Orders UTF-8 names as Windows' case rule sees them: 0 exactly when the file system would hold
// the two as one name. A byte that is not UTF-8 compares as itself, after every code point.
int CompareNamesIgnoringCase(std::string_view a, std::string_view b);

}  // namespace patcher
