// The raw lines of windows-1251 bytes, decoded to UTF-8 one piece at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "parser/lines.hpp"

namespace varnok {

// Yields the same lines, with the same numbers, as a LineCursor over the whole decoded
// text, but holds only a piece of it: every piece ends just after a LF of the bytes (a
// byte that stands for LF alone in windows-1251), so no line is cut, and a piece is
// decoded while it is still in the cache. Earlier pieces are kept only while pinned.
class Cp1251Lines final : public PinnableLines {
 public:
  // Small enough that a piece's decoded room (three times as much) comes from the
  // allocator's heap, which keeps it between reads, rather than from fresh mapped pages.
  static constexpr std::size_t kPieceBytes = 32 * 1024;

  explicit Cp1251Lines(std::string_view bytes, std::size_t piece_bytes = kPieceBytes) noexcept;

  // The next raw line, or false at the end. Unless pinned, views into the lines returned
  // before it may be invalidated.
  [[nodiscard]] bool next(std::string_view& line);
  void pin() noexcept override { pinned_ = true; }
  void unpin() noexcept override { pinned_ = false; }
  // Number of the line last returned by next().
  [[nodiscard]] std::uint64_t lineno() const noexcept { return base_ + cursor_.lineno(); }

 private:
  void decode_next_piece();

  std::string_view rest_;  // bytes not decoded yet
  std::size_t piece_bytes_;
  // Pieces are held through pointers: moving a short string moves its characters, which
  // would leave the caller's views dangling.
  using Piece = std::unique_ptr<std::string>;
  Piece current_;             // the decoded text of the current piece
  std::vector<Piece> kept_;   // earlier pieces still viewed by the caller
  std::vector<Piece> spare_;  // their buffers, for reuse once released
  LineCursor cursor_{{}};
  std::uint64_t base_ = 0;  // lines of the earlier pieces
  bool pinned_ = false;
};

}  // namespace varnok
