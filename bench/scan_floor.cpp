// The scan floor: the least work any reader of a statement must do on its bytes in memory,
// timed the way bench.py times parse (by the process's CPU time). UTF-8 input is
// validated; anything else is decoded from windows-1251 into a UTF-8 buffer. Then every line end is found with memchr,
// the line is trimmed of ASCII blanks, the first "=" is found and key and value are touched.
//
//   scan_floor [--runs N] [--min-seconds S] FILE...
//
// Prints one JSON object per file: bytes, encoding, lines, MB/s (median, min, max; 1 MB =
// 10^6 bytes), the median MB/s of the first stage alone (validation or decoding) and a
// checksum that keeps the work from being optimised away.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// windows-1251 as UTF-8: up to 3 bytes per character, packed little-endian, and the length.
struct Utf8Char {
  std::uint32_t bytes;
  std::uint32_t length;
};

constexpr std::array<char16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr std::array<Utf8Char, 256> make_cp1251_table() {
  std::array<Utf8Char, 256> t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    const std::uint32_t c = b < 0x80 ? b : kCp1251High[b - 0x80];
    if (c < 0x80) {
      t[b] = {c, 1};
    } else if (c < 0x800) {
      t[b] = {(0xC0 | (c >> 6)) | ((0x80 | (c & 0x3F)) << 8), 2};
    } else {
      t[b] = {(0xE0 | (c >> 12)) | ((0x80 | ((c >> 6) & 0x3F)) << 8) | ((0x80 | (c & 0x3F)) << 16), 3};
    }
  }
  return t;
}
constexpr std::array<Utf8Char, 256> kCp1251 = make_cp1251_table();

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

std::uint64_t load64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Standard UTF-8 validity: no overlong forms, no surrogates, nothing above U+10FFFF, no
// truncated sequence. ASCII runs are skipped eight bytes at a time.
bool valid_utf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    if (end - p >= 16 && ((load64(p) | load64(p + 8)) & kHighBits) == 0) {
      p += 16;
      continue;
    }
    const unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    auto cont = [&](std::ptrdiff_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF) {
      if (!cont(1)) return false;
      p += 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      if (!cont(1) || !cont(2)) return false;
      if (c == 0xE0 && p[1] < 0xA0) return false;  // overlong
      if (c == 0xED && p[1] > 0x9F) return false;  // surrogate
      p += 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      if (!cont(1) || !cont(2) || !cont(3)) return false;
      if (c == 0xF0 && p[1] < 0x90) return false;  // overlong
      if (c == 0xF4 && p[1] > 0x8F) return false;  // above U+10FFFF
      p += 4;
    } else {
      return false;
    }
  }
  return true;
}

// windows-1251 to UTF-8 into `out` (room for 3 bytes per input byte plus 4 of slack);
// returns the decoded length. Each character is stored as 4 bytes and the cursor moves
// by its real length, which avoids a branch per byte.
std::size_t decode_cp1251(std::string_view s, char* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  char* o = out;
  while (p < end) {
    if (end - p >= 8) {
      const std::uint64_t v = load64(p);
      if ((v & kHighBits) == 0) {
        std::memcpy(o, &v, 8);
        p += 8;
        o += 8;
        continue;
      }
    }
    const Utf8Char u = kCp1251[*p++];
    std::memcpy(o, &u.bytes, 4);
    o += u.length;
  }
  return static_cast<std::size_t>(o - out);
}

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

// Everything a read must do once per call. The decoded text goes into `scratch`, made
// once per file and reused: a reader need not hold the whole decoded text at once, so
// fresh pages are no part of the floor (and the allocator's state would make the floor
// depend on what ran before it).
RunResult scan_statement(std::string_view bytes, char* scratch) {
  RunResult r;
  if (valid_utf8(bytes)) {
    r.utf8 = true;
    r.scan = scan_lines(bytes);
    return r;
  }
  const std::size_t n = decode_cp1251(bytes, scratch);
  r.scan = scan_lines(std::string_view(scratch, n));
  return r;
}

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

  // The process's CPU time, as bench.py times parse: the floor and parse then compare
  // even on a machine where other work takes the cores now and then.
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
    const std::unique_ptr<char[]> scratch(new char[bytes.size() * 3 + 4]);
    const RunResult first = scan_statement(bytes, scratch.get());
    std::uint64_t checksum = 0;
    const std::vector<double> total =
        measure(bytes, [&] { checksum += scan_statement(bytes, scratch.get()).scan.checksum; });
    // The first stage alone: validation, or decoding.
    const std::vector<double> decode = measure(bytes, [&] {
      checksum += first.utf8 ? valid_utf8(bytes) : decode_cp1251(bytes, scratch.get());
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
