// The statement reader: the first-line check and the six-state machine, one switch over
// ReaderState, with the hooks and the builders run at each section end.
#include "parser/reader.hpp"

#include <optional>
#include <utility>

#include <varnok/reader_state.hpp>
#include <varnok/varnok.hpp>

#include "parser/account_builder.hpp"
#include "parser/cp1251_lines.hpp"
#include "parser/decode.hpp"
#include "parser/document_builder.hpp"
#include "parser/keywords.hpp"
#include "parser/lines.hpp"

namespace varnok {

namespace {


using StepResult = std::expected<void, StatementError>;

// Less than the decoded size of the smallest realistic document section.
constexpr std::size_t kDocumentBytesHint = 512;

class Reader {
 public:
  Reader(PinnableLines& lines, Encoding encoding, HookList hooks, std::size_t text_bytes) noexcept
      : lines_(lines), encoding_(encoding), hooks_(hooks), text_bytes_(text_bytes) {}

  // One transition for a classified non-blank line.
  [[nodiscard]] StepResult step(const ClassifiedLine& line, std::uint64_t n) {
    switch (state_) {
      case ReaderState::Init: return in_init(line, n);
      case ReaderState::Header: return in_header(line, n);
      case ReaderState::Account: return in_section(line, n, LineKind::AccountEnd);
      case ReaderState::Document: return in_section(line, n, LineKind::DocumentEnd);
      case ReaderState::ReadNextSection: return in_read_next_section(line, n);
      case ReaderState::Finished: return in_finished(line, n);
    }
    return {};
  }

  // The statement if the read ended in finished; Unfinished otherwise.
  [[nodiscard]] std::expected<Statement, StatementError> finish() && {
    if (state_ != ReaderState::Finished) return std::unexpected(error::Unfinished{});
    IntervalMerger::finish(statement_->accounts);
    return std::move(*statement_);
  }

 private:
  [[nodiscard]] StatementError unexpected_section(const ClassifiedLine& line, std::uint64_t n) const {
    return error::UnexpectedSection{n, display(line), state_};
  }
  [[nodiscard]] static StatementError unexpected_attribute(const ClassifiedLine& line, std::uint64_t n) {
    return error::UnexpectedAttribute{n, std::string(line.key), std::string(line.value)};
  }

  StepResult in_init(const ClassifiedLine& line, std::uint64_t n) {
    if (line.kind == LineKind::Attribute) return std::unexpected(unexpected_attribute(line, n));
    if (line.kind != LineKind::Exchange) return std::unexpected(unexpected_section(line, n));
    state_ = ReaderState::Header;
    return {};
  }

  StepResult in_header(const ClassifiedLine& line, std::uint64_t n) {
    switch (line.kind) {
      case LineKind::Attribute:
        header_.set(line.key, line.value);
        return {};
      case LineKind::AccountStart:
      case LineKind::DocumentStart:
        statement_.emplace(Statement{encoding_, std::move(header_), {}, {}, {}});
        // Room for a document per kDocumentBytesHint of text, so that a typical statement
        // never regrows (and copies) its document list; pages beyond the documents
        // actually read are never touched.
        statement_->documents.reserve(text_bytes_ / kDocumentBytesHint);
        start_section(line);
        return {};
      default:
        return std::unexpected(unexpected_section(line, n));
    }
  }

  // Account or document: attributes until the matching end line.
  StepResult in_section(const ClassifiedLine& line, std::uint64_t n, LineKind end) {
    if (line.kind == LineKind::Attribute) {
      // Without hooks nobody sees a document's attributes: its lines go straight to the
      // builder, as views into the decoded text.
      if (state_ == ReaderState::Document && hooks_.empty()) {
        document_.add(line.key, line.value);
      } else {
        section_.set_kept(line.key, line.value);  // the lines are pinned until the section is built
      }
      return {};
    }
    if (line.kind != end) return std::unexpected(unexpected_section(line, n));
    StepResult done = state_ == ReaderState::Account ? finish_account(n) : finish_document(n);
    if (done) state_ = ReaderState::ReadNextSection;
    return done;
  }

  StepResult in_read_next_section(const ClassifiedLine& line, std::uint64_t n) {
    switch (line.kind) {
      case LineKind::Attribute:
        return std::unexpected(unexpected_attribute(line, n));
      case LineKind::AccountStart:
      case LineKind::DocumentStart:
        start_section(line);
        return {};
      case LineKind::FileEnd:
        state_ = ReaderState::Finished;
        return {};
      default:
        return std::unexpected(unexpected_section(line, n));
    }
  }

  // Reading goes on after КонецФайла only to reject whatever non-blank line follows.
  StepResult in_finished(const ClassifiedLine& line, std::uint64_t n) const {
    if (line.kind == LineKind::Attribute) return std::unexpected(unexpected_attribute(line, n));
    return std::unexpected(unexpected_section(line, n));
  }

  void start_section(const ClassifiedLine& line) noexcept {
    // One attribute map serves every section: clear() keeps its storage.
    section_.clear();
    // The keys, the values and a document's kind stay views into the lines until the
    // section is built.
    lines_.pin();
    if (line.kind == LineKind::AccountStart) {
      state_ = ReaderState::Account;
    } else {
      document_.start(line.value);
      state_ = ReaderState::Document;
    }
  }

  // Every hook in order; the first that does not continue ends the read.
  StepResult run_hooks(SectionType type, std::uint64_t n) {
    for (SectionHook* hook : hooks_) {
      HookOutcome outcome = hook->call(type, section_, statement_->header);
      switch (outcome.kind()) {
        case HookOutcome::Kind::Continue: break;
        case HookOutcome::Kind::Fail: return std::unexpected(error::HookError{n, outcome.take_message()});
        case HookOutcome::Kind::Abandon: return std::unexpected(error::HookAbandoned{outcome.take_message()});
      }
    }
    return {};
  }

  StepResult finish_account(std::uint64_t n) {
    if (StepResult hooked = run_hooks(SectionType::Account, n); !hooked) return hooked;
    auto built = build_interval(section_);
    if (!built) {
      if (built.error().kind == AccountFailure::Kind::MissingNumber) {
        return std::unexpected(error::MissingField{n, std::string(kAccountNumberKey), ReaderState::Account});
      }
      return std::unexpected(error::AccountParseError{n, std::move(built.error().message)});
    }
    intervals_.add(statement_->accounts, built->number, std::move(built->interval));
    lines_.unpin();
    return {};
  }

  StepResult finish_document(std::uint64_t n) {
    if (StepResult hooked = run_hooks(SectionType::Document, n); !hooked) return hooked;
    if (!hooks_.empty()) {
      const auto entries = section_.entries();
      for (std::size_t i = 0; i < entries.size(); ++i)
        if (const auto field = section_.field_at(i)) document_.add(*field, entries[i].value);
    }
    // Built in place in the list, and taken out again if it fails.
    std::vector<Document>& documents = statement_->documents;
    auto built = document_.finish_into(documents.emplace_back());
    lines_.unpin();
    if (!built) {
      documents.pop_back();
      statement_->warnings.push_back(Warning{n, std::move(built.error())});
    }
    return {};
  }

  PinnableLines& lines_;
  Encoding encoding_;
  HookList hooks_;
  std::size_t text_bytes_;
  ReaderState state_ = ReaderState::Init;
  Attributes header_;                   // filled in header; moved into the statement
  std::optional<Statement> statement_;  // created at the first section start
  Attributes section_;
  DocumentBuilder document_;
  IntervalMerger intervals_;
};

// A LineCursor over a whole text, with the interface of Cp1251Lines. Pinning has nothing
// to do: the text outlives the read.
class WholeLines final : public PinnableLines {
 public:
  explicit WholeLines(std::string_view text) noexcept : cursor_(text) {}
  [[nodiscard]] bool next(std::string_view& line) noexcept { return cursor_.next(line); }
  [[nodiscard]] std::uint64_t lineno() const noexcept { return cursor_.lineno(); }
  void pin() noexcept override {}
  void unpin() noexcept override {}

 private:
  LineCursor cursor_;
};

template <class Lines>
std::expected<Statement, StatementError> read_lines(Lines& lines, Encoding encoding, HookList hooks,
                                                    std::size_t text_bytes) {
  std::string_view raw;
  // Line 1 must be the marker; it is then read again as an ordinary line, which moves
  // init to header.
  const bool has_line = lines.next(raw);
  if (!has_line || trim(raw) != keyword::kExchange) return std::unexpected(error::NotStatement{});

  Reader reader(lines, encoding, hooks, text_bytes);
  do {
    const std::string_view line = trim(raw);
    if (line.empty()) continue;
    const std::optional<ClassifiedLine> classified = classify(line);
    if (!classified) return std::unexpected(error::UnrecognizedLine{lines.lineno(), std::string(line)});
    if (StepResult stepped = reader.step(*classified, lines.lineno()); !stepped) {
      return std::unexpected(std::move(stepped.error()));
    }
  } while (lines.next(raw));
  return std::move(reader).finish();
}

}  // namespace

std::expected<Statement, StatementError> read(std::string_view text, Encoding encoding, HookList hooks) {
  WholeLines lines(text);
  return read_lines(lines, encoding, hooks, text.size());
}

std::expected<Statement, StatementError> parse_statement(std::string_view input, HookList hooks) {
  auto plan = plan_input(input);
  if (!plan) return std::unexpected(std::move(plan.error()));
  // The decoded text (borrowed or owned) stays alive for the whole read.
  if (plan->whole) return read(plan->whole->text.text(), plan->whole->encoding, hooks);
  return detail::read_cp1251(plan->cp1251, hooks, Cp1251Lines::kPieceBytes);
}

namespace detail {
std::expected<Statement, StatementError> read_cp1251(std::string_view bytes, HookList hooks,
                                                     std::size_t piece_bytes) {
  // Decoded as it is read, so the whole decoded text never exists at once.
  Cp1251Lines lines(bytes, piece_bytes);
  return read_lines(lines, Encoding::Cp1251, hooks, bytes.size());
}
}  // namespace detail

}  // namespace varnok
