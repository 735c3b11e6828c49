// Section hooks: callbacks that see and rewrite a section's attributes before it is built.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include <varnok/attributes.hpp>

namespace varnok {

enum class SectionType : std::uint8_t { Document = 0, Account = 1 };

// What a hook decided about its section.
class HookOutcome {
 public:
  enum class Kind : std::uint8_t {
    Continue,  // build the section from the attributes as the hook left them
    Fail,      // end the read with HookError at the section's end line, the message its text
    Abandon,   // end the read with HookAbandoned: a failure of the hook itself, not of the statement
  };

  [[nodiscard]] static HookOutcome Continue() { return HookOutcome(Kind::Continue, {}); }
  [[nodiscard]] static HookOutcome Fail(std::string message) { return HookOutcome(Kind::Fail, std::move(message)); }
  [[nodiscard]] static HookOutcome Abandon(std::string message) {
    return HookOutcome(Kind::Abandon, std::move(message));
  }

  [[nodiscard]] Kind kind() const noexcept { return kind_; }
  [[nodiscard]] const std::string& message() const noexcept { return message_; }
  [[nodiscard]] std::string take_message() noexcept { return std::move(message_); }

 private:
  HookOutcome(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
  Kind kind_;
  std::string message_;
};

// Called once per section end, in order, on the thread that called parse_statement; `attrs`
// is what the record is built from after every hook returned Continue (a hook may set
// values, or assign a whole new map to drop keys). Its entries may view the reader's lines,
// which live only until the section is built: a hook that keeps a section keeps a copy of
// it (a copy holds copies), never the map itself moved out. `header` is the statement's
// header, never changed. call() may throw only std::bad_alloc.
class SectionHook {
 public:
  virtual ~SectionHook() = default;
  virtual HookOutcome call(SectionType type, Attributes& attrs, const Attributes& header) = 0;
};

// The hooks of one read, borrowed for its duration.
using HookList = std::span<SectionHook* const>;

}  // namespace varnok
