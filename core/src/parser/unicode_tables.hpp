// Unicode data the value texts need, generated into unicode_tables.cpp by
// tools/gen_unicode_tables.py.
#pragma once

#include <span>

namespace varnok::detail {

// The code points the quoted form writes as \u{...}: grapheme-extending marks and the
// categories Cc, Cf, Zs, Zl, Zp, Co, Cs and Cn, except U+0020. Sorted boundaries of
// half-open runs: [b[0], b[1]), [b[2], b[3]), ... are escaped, everything else is not.
extern const std::span<const char32_t> kEscapedRunBoundaries;

}  // namespace varnok::detail
