// Section hooks: callbacks that see and rewrite a section's attributes before it is built.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "parser/model/attributes.hpp"

namespace varnok {

enum class SectionType : std::uint8_t { Document = 0, Account = 1 };

// Continue, or Fail with a message that ends the read as HookError.
class HookOutcome {
 public:
  [[nodiscard]] static HookOutcome Continue() { return HookOutcome(false, {}); }
  [[nodiscard]] static HookOutcome Fail(std::string message) { return HookOutcome(true, std::move(message)); }

  [[nodiscard]] bool failed() const noexcept { return failed_; }
  [[nodiscard]] const std::string& message() const noexcept { return message_; }
  [[nodiscard]] std::string take_message() noexcept { return std::move(message_); }

 private:
  HookOutcome(bool failed, std::string message) : failed_(failed), message_(std::move(message)) {}
  bool failed_;
  std::string message_;
};

// Called once per section end, in order; `attrs` is what the record is built from after
// every hook returned Continue. `header` is the statement's header, never changed.
class SectionHook {
 public:
  virtual ~SectionHook() = default;
  virtual HookOutcome call(SectionType type, Attributes& attrs, const Attributes& header) = 0;
};

// The hooks of one read, borrowed for its duration.
using HookList = std::span<SectionHook* const>;

}  // namespace varnok
