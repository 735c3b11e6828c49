// Renders every StatementError message; the one place these texts are written.
#include <varnok/diagnostics.hpp>

#include <type_traits>

namespace varnok {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};

std::string concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (auto p : parts) size += p.size();
  std::string out;
  out.reserve(size);
  for (auto p : parts) out += p;
  return out;
}

}  // namespace

std::string message(const StatementError& e) {
  return std::visit(
      Overloaded{
          [](const error::UnexpectedSection& x) {
            return concat({"Unexpected section '", x.found, "' in context '", name(x.context), "'"});
          },
          [](const error::UnexpectedAttribute& x) {
            return concat({"Unexpected attribute '", x.key, "' = '", x.value, "'"});
          },
          [](const error::UnrecognizedLine& x) { return concat({"Unrecognized line: '", x.line, "'"}); },
          [](const error::MissingField& x) {
            return concat({"Missing field '", x.field, "' in context '", name(x.context), "'"});
          },
          [](const error::AccountParseError& x) { return concat({"Account parse error: ", x.message}); },
          [](const error::DocumentParseError& x) { return concat({"Document parse error: ", x.message}); },
          [](const error::HookError& x) { return concat({"Hook error: ", x.message}); },
          [](const error::Unfinished&) { return std::string("Statement is not finished"); },
          [](const error::NotStatement&) { return std::string("Input is not a 1C statement"); },
          [](const error::EmptyInput&) { return std::string("Input is empty"); },
          [](const error::HookAbandoned& x) { return x.message; },
      },
      e);
}

std::optional<std::uint64_t> lineno(const StatementError& e) noexcept {
  return std::visit(
      []<class T>(const T& x) -> std::optional<std::uint64_t> {
        if constexpr (requires { x.lineno; }) {
          return x.lineno;
        } else {
          return std::nullopt;
        }
      },
      e);
}

}  // namespace varnok
