// The scan floor: the least work any reader of a statement must do on its bytes in memory,
// timed the way bench.py times parse (by the process's CPU time). UTF-8 input is
// validated; anything else is decoded from windows-1251 in pieces of the reader's size,
// with the core's own decoders. Then every line end is found with memchr, the line is
// trimmed of ASCII blanks, the first "=" is found and key and value are touched.
//
//   scan_floor [--runs N] [--min-seconds S] FILE...
//
// Prints one JSON object per file: bytes, encoding, lines, MB/s (median, min, max; 1 MB =
// 10^6 bytes), the median MB/s of the first stage alone (validation or decoding) and a
// checksum that keeps the work from being optimised away.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "parser/codecs.hpp"
#include "parser/cp1251_lines.hpp"

namespace {

bool ascii_blank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct ScanResult {
  std::uint64_t lines = 0;
  std::uint64_t checksum = 0;
};

// One line at a time: memchr for the end, trim, memchr for "=", touch key and value.
ScanResult scan_lines(std::string_view text) {
  ScanResult r;
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* line_end = nl ? nl : end;
    const char* b = p;
    const char* e = line_end;
    while (b < e && ascii_blank(static_cast<unsigned char>(*b))) ++b;
    while (e > b && ascii_blank(static_cast<unsigned char>(e[-1]))) --e;
    ++r.lines;
    if (b < e) {
      const char* eq = static_cast<const char*>(std::memchr(b, '=', static_cast<std::size_t>(e - b)));
      if (eq) {
        const std::size_t key_len = static_cast<std::size_t>(eq - b);
        const std::size_t value_len = static_cast<std::size_t>(e - eq - 1);
        r.checksum += key_len * 31 + value_len + static_cast<unsigned char>(*b) +
                      (value_len ? static_cast<unsigned char>(eq[1]) : 0U);
      } else {
        r.checksum += static_cast<std::size_t>(e - b);
      }
    }
    p = nl ? nl + 1 : end;
  }
  return r;
}

struct RunResult {
  ScanResult scan;
  bool utf8 = false;
};

// The bytes of the next piece: at least kPieceBytes, up to and with the next LF.
std::size_t piece_size(std::string_view rest) {
  if (rest.size() <= varnok::Cp1251Lines::kPieceBytes) return rest.size();
  const char* from = rest.data() + varnok::Cp1251Lines::kPieceBytes - 1;
  const void* lf = std::memchr(from, '\n', static_cast<std::size_t>(rest.data() + rest.size() - from));
  return lf == nullptr ? rest.size() : static_cast<std::size_t>(static_cast<const char*>(lf) - rest.data()) + 1;
}

// The first stage alone: UTF-8 validated, or windows-1251 decoded piece by piece into one
// reused buffer, as a read does; `each` sees every decoded piece. The core's own decoders,
// the fastest this project has, so that parse is held to them.
template <class Each>
bool first_stage(std::string_view bytes, std::string& piece, Each&& each) {
  if (varnok::detail::is_valid_utf8(bytes)) {
    each(bytes);
    return true;
  }
  while (!bytes.empty()) {
    const std::size_t size = piece_size(bytes);
    varnok::detail::decode_cp1251_into(bytes.substr(0, size), piece);
    each(std::string_view(piece));
    bytes.remove_prefix(size);
  }
  return false;
}

// Everything a read must do once per call. `piece` is made once per file and reused: a
// reader need not hold the whole decoded text at once, so fresh pages are no part of the
// floor (and the allocator's state would make the floor depend on what ran before it).
RunResult scan_statement(std::string_view bytes, std::string& piece) {
  RunResult r;
  r.utf8 = first_stage(bytes, piece, [&](std::string_view text) {
    const ScanResult part = scan_lines(text);
    r.scan.lines += part.lines;
    r.scan.checksum += part.checksum;
  });
  return r;
}

// The process's CPU time, as bench.py times parse: the floor and parse then compare even
// on a machine where other work takes the cores now and then.
struct Clock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<Clock>;
  static constexpr bool is_steady = true;
  static time_point now() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return time_point(duration(static_cast<rep>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec));
  }
};

bool read_file(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return static_cast<bool>(in) || in.eof();
}

void print_json_string(std::string_view s) {
  std::putchar('"');
  for (const char c : s) {
    if (c == '"' || c == '\\') std::putchar('\\');
    std::putchar(c);
  }
  std::putchar('"');
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 7;
  double min_seconds = 0.05;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--min-seconds" && i + 1 < argc) {
      min_seconds = std::atof(argv[++i]);
    } else if (arg.starts_with("--")) {
      std::fprintf(stderr, "usage: scan_floor [--runs N] [--min-seconds S] FILE...\n");
      return 2;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: scan_floor [--runs N] [--min-seconds S] FILE...\n");
    return 2;
  }

  // MB/s of `fn` on `bytes`: `runs` samples, each repeating the call until it lasts
  // min_seconds. One untimed call first settles the page cache and the allocator.
  auto measure = [&](const std::string& bytes, auto&& fn) {
    const auto t0 = Clock::now();
    fn();
    const double once = std::chrono::duration<double>(Clock::now() - t0).count();
    const int reps = std::max(1, static_cast<int>(min_seconds / std::max(once, 1e-9)));
    std::vector<double> mbps;
    for (int r = 0; r < runs; ++r) {
      const auto start = Clock::now();
      for (int k = 0; k < reps; ++k) fn();
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      mbps.push_back(static_cast<double>(bytes.size()) * reps / seconds / 1e6);
    }
    std::sort(mbps.begin(), mbps.end());
    return mbps;
  };

  for (const char* path : files) {
    std::string bytes;
    if (!read_file(path, bytes)) {
      std::fprintf(stderr, "scan_floor: cannot read %s\n", path);
      return 1;
    }
    std::string piece;
    const RunResult first = scan_statement(bytes, piece);
    std::uint64_t checksum = 0;
    const std::vector<double> total =
        measure(bytes, [&] { checksum += scan_statement(bytes, piece).scan.checksum; });
    // The first stage alone: validation, or decoding.
    const std::vector<double> decode = measure(bytes, [&] {
      first_stage(bytes, piece, [&](std::string_view text) { checksum += text.size(); });
    });
    std::printf("{\"file\": ");
    print_json_string(path);
    std::printf(", \"bytes\": %zu, \"encoding\": \"%s\", \"lines\": %llu, \"runs\": %d, "
                "\"median_mbps\": %.1f, \"min_mbps\": %.1f, \"max_mbps\": %.1f, "
                "\"first_stage_median_mbps\": %.1f, \"checksum\": %llu}\n",
                bytes.size(), first.utf8 ? "utf-8" : "cp1251", static_cast<unsigned long long>(first.scan.lines),
                runs, total[total.size() / 2], total.front(), total.back(), decode[decode.size() / 2],
                static_cast<unsigned long long>(checksum));
  }
  return 0;
}
