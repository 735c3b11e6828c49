// Cp1251Lines: cutting the bytes into pieces at LF and decoding them as the reader goes.
#include "parser/cp1251_lines.hpp"

#include <cstring>
#include <utility>

#include "parser/codecs.hpp"

namespace varnok {

namespace {
// Released buffers kept for reuse; a section spanning more pieces frees the rest.
constexpr std::size_t kMaxSpare = 2;
// The bytes a piece usually runs on past its size to reach a LF.
constexpr std::size_t kLineAllowance = 2048;
}  // namespace

Cp1251Lines::Cp1251Lines(std::string_view bytes, std::size_t piece_bytes) noexcept
    : rest_(bytes), piece_bytes_(piece_bytes == 0 ? 1 : piece_bytes) {}

bool Cp1251Lines::next(std::string_view& line) {
  while (!cursor_.next(line)) {
    if (rest_.empty()) return false;
    decode_next_piece();
  }
  return true;
}

void Cp1251Lines::decode_next_piece() {
  base_ += cursor_.lineno();
  if (pinned_ && current_) {
    kept_.push_back(std::move(current_));
  } else if (!pinned_) {
    for (Piece& released : kept_) {
      if (spare_.size() < kMaxSpare) spare_.push_back(std::move(released));
    }
    kept_.clear();
  }
  if (!current_) {
    if (spare_.empty()) {
      current_ = std::make_unique<std::string>();
      // Room for the decoded piece (three bytes a byte at most) and a line beyond it, at
      // once: grown piece by piece it would double past what the allocator serves from
      // its heap, and be mapped and faulted in afresh by every read.
      current_->reserve(3 * (piece_bytes_ + kLineAllowance));
    } else {
      current_ = std::move(spare_.back());
      spare_.pop_back();
    }
  }

  // At least piece_bytes_, up to and with the next LF; a longer line makes a longer piece.
  std::size_t size = rest_.size();
  if (size > piece_bytes_) {
    const char* from = rest_.data() + piece_bytes_ - 1;
    const void* lf = std::memchr(from, '\n', rest_.size() - (piece_bytes_ - 1));
    if (lf != nullptr) size = static_cast<std::size_t>(static_cast<const char*>(lf) - rest_.data()) + 1;
  }
  detail::decode_cp1251_into(rest_.substr(0, size), *current_);
  rest_.remove_prefix(size);
  cursor_ = LineCursor(*current_);
}

}  // namespace varnok
