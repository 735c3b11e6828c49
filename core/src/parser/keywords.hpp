// The format's fixed texts: the marker of line 1 and the lines that open and close
// sections and the file.
#pragma once

#include <string_view>

namespace varnok::keyword {

inline constexpr std::string_view kExchange = "1CClientBankExchange";
inline constexpr std::string_view kAccountStart = "СекцияРасчСчет";
inline constexpr std::string_view kAccountEnd = "КонецРасчСчет";
inline constexpr std::string_view kDocumentStart = "СекцияДокумент";  // followed by "=" and the kind
inline constexpr std::string_view kDocumentEnd = "КонецДокумента";
inline constexpr std::string_view kFileEnd = "КонецФайла";

}  // namespace varnok::keyword
