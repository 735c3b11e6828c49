// The states of the statement reader; their names are the `context` texts of diagnostics.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnok {

enum class ReaderState : std::uint8_t { Init, Header, Account, Document, ReadNextSection, Finished };

// "init", "header", "account", "document", "read_next_section", "finished".
[[nodiscard]] constexpr std::string_view name(ReaderState s) noexcept {
  switch (s) {
    case ReaderState::Init: return "init";
    case ReaderState::Header: return "header";
    case ReaderState::Account: return "account";
    case ReaderState::Document: return "document";
    case ReaderState::ReadNextSection: return "read_next_section";
    case ReaderState::Finished: return "finished";
  }
  return "";
}

}  // namespace varnok
