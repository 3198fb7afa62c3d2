// OFF, ASCII or binary. Our own reader: CGAL's scanner sizes its arrays by the counts in the file
// before reading a value, and converts any number it reads to an unsigned count or a colour
// byte, so a broken file cost gigabytes or undefined behaviour before it was refused.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "geom/mesh_file_readers.h"

namespace geom::detail {

namespace {

// The header keyword's prefixes: which entries follow a point's coordinates.
struct Layout {
  bool texture = false;      // ST: two texture coordinates
  bool color = false;        // C: a colour
  bool normal = false;       // N: three normal coordinates
  bool homogeneous = false;  // 4: a fourth coordinate w, the point being (x, y, z) / w
};

// Parses "[ST][C][N][4][n]OFF"; false when word is not such a keyword.
bool keyword(const std::string& word, Layout& layout, bool& dimension) {
  if (word.size() < 3 || word.compare(word.size() - 3, 3, "OFF") != 0) return false;
  std::size_t i = 0;
  const std::string prefix = word.substr(0, word.size() - 3);
  if (prefix.compare(0, 2, "ST") == 0) layout.texture = true, i = 2;
  if (i < prefix.size() && prefix[i] == 'C') layout.color = true, ++i;
  if (i < prefix.size() && prefix[i] == 'N') layout.normal = true, ++i;
  if (i < prefix.size() && prefix[i] == '4') layout.homogeneous = true, ++i;
  if (i < prefix.size() && prefix[i] == 'n') dimension = true, ++i;
  return i == prefix.size();
}

// The text of the file as lines without comments, read one token or one line at a time. Words
// are cut from the text in place: stream extraction cost more than all the rest of reading.
class Text {
 public:
  explicit Text(std::string_view text) : rest_(text) {}
  // The next whitespace-separated token of the current line, else of the next lines.
  bool token(std::string& out) {
    std::string_view w;
    while ((w = word()).empty()) {
      if (!nextLine()) return false;
    }
    out.assign(w);
    return true;
  }
  // The numbers of the next line that has any (the rest of the current one first); false at the
  // end of the text or when a word of that line is not a number.
  bool line(std::vector<double>& out) {
    out.clear();
    bool numbers = true;
    while (out.empty()) {
      for (std::string_view w = word(); !w.empty(); w = word()) {
        bool whole = false;
        out.push_back(number(w, whole));
        numbers = numbers && whole;
      }
      if (out.empty() && !nextLine()) return false;
    }
    return numbers;
  }

 private:
  static bool space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
  // The next word of the current line; empty when it has no more.
  std::string_view word() {
    std::size_t i = 0;
    while (i < line_.size() && space(line_[i])) ++i;
    std::size_t e = i;
    while (e < line_.size() && !space(line_[e])) ++e;
    const std::string_view w = line_.substr(i, e - i);
    line_.remove_prefix(e);
    return w;
  }
  bool nextLine() {
    if (rest_.empty()) return false;
    const std::size_t eol = rest_.find('\n');
    line_ = rest_.substr(0, eol);
    rest_.remove_prefix(eol == std::string_view::npos ? rest_.size() : eol + 1);
    const std::size_t hash = line_.find('#');
    if (hash != std::string_view::npos) line_ = line_.substr(0, hash);
    return true;
  }
  // The word as a number, as strtod reads it (the fast reading first); whole when all of it is.
  static double number(std::string_view w, bool& whole) {
    double v = 0;
    const auto [end, error] = std::from_chars(w.data(), w.data() + w.size(), v);
    if (error == std::errc() && end == w.data() + w.size()) {
      whole = true;
      return v;
    }
    const std::string copy(w);
    char* stop = nullptr;
    v = std::strtod(copy.c_str(), &stop);
    whole = stop == copy.c_str() + copy.size();
    return v;
  }

  std::string_view line_, rest_;
};

// A count or index written as a number: whole, and within [0, limit].
bool whole(double v, double limit, std::size_t& out) {
  if (!(v >= 0 && v <= limit) || std::floor(v) != v) return false;
  out = static_cast<std::size_t>(v);
  return true;
}

class BigEndian {
 public:
  BigEndian(const std::string& bytes, std::size_t at) : bytes_(bytes), at_(at) {}
  bool int32(std::int32_t& out) {
    std::uint32_t u = 0;
    if (!word(u)) return false;
    out = static_cast<std::int32_t>(u);
    return true;
  }
  bool float32(float& out) {
    std::uint32_t u = 0;
    if (!word(u)) return false;
    std::memcpy(&out, &u, sizeof out);
    return true;
  }
  bool skip(std::size_t words) {
    if (words > (bytes_.size() - at_) / 4) return false;
    at_ += 4 * words;
    return true;
  }

 private:
  bool word(std::uint32_t& out) {
    if (bytes_.size() - at_ < 4) return false;
    out = 0;
    for (int k = 0; k < 4; ++k) out = out << 8 | static_cast<unsigned char>(bytes_[at_ + k]);
    at_ += 4;
    return true;
  }
  const std::string& bytes_;
  std::size_t at_;
};

MeshFile readBinary(const std::string& path, const std::string& bytes, std::size_t at,
                    const Layout& layout) {
  BigEndian in(bytes, at);
  std::int32_t nv = 0, nf = 0, ne = 0;
  if (!in.int32(nv) || !in.int32(nf) || !in.int32(ne) || nv < 0 || nf < 0 ||
      static_cast<std::size_t>(nv) > bytes.size() || static_cast<std::size_t>(nf) > bytes.size())
    fail(path, "cannot parse the off file (its counts)");
  MeshFile out;
  out.points.reserve(static_cast<std::size_t>(nv));
  const std::size_t extra =
      (layout.normal ? 3 : 0) + (layout.color ? 4 : 0) + (layout.texture ? 2 : 0);
  for (std::int32_t i = 0; i < nv; ++i) {
    float c[4] = {0, 0, 0, 1};
    for (int k = 0; k < (layout.homogeneous ? 4 : 3); ++k) {
      if (!in.float32(c[k]))
        fail(path, "cannot parse the off file (point " + std::to_string(i) + ")");
    }
    if (!in.skip(extra)) fail(path, "cannot parse the off file (point " + std::to_string(i) + ")");
    out.points.push_back({double(c[0]) / c[3], double(c[1]) / c[3], double(c[2]) / c[3]});
  }
  out.polygons.reserve(static_cast<std::size_t>(nf));
  for (std::int32_t f = 0; f < nf; ++f) {
    const std::string where = "cannot parse the off file (face " + std::to_string(f) + ")";
    std::int32_t n = 0, colors = 0;
    if (!in.int32(n) || n < 0 || static_cast<std::size_t>(n) > bytes.size()) fail(path, where);
    std::vector<int> face(static_cast<std::size_t>(n));
    for (int& v : face) {
      std::int32_t id = 0;
      if (!in.int32(id) || id < 0 || id >= nv) fail(path, where);
      v = id;
    }
    if (!in.int32(colors) || colors < 0 || !in.skip(static_cast<std::size_t>(colors)))
      fail(path, where);
    out.polygons.push_back(std::move(face));
  }
  return out;
}

}  // namespace

MeshFile readOff(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) fail(path, "cannot open the file");
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  Text text(bytes);
  Layout layout;
  bool dimension = false;
  std::string word;
  if (!text.token(word)) fail(path, "cannot parse the off file (it is empty)");
  std::vector<std::string> counts;
  if (keyword(word, layout, dimension)) {
    if (dimension && (!text.token(word) || word != "3"))
      fail(path, "cannot parse the off file (only points of dimension 3 are read)");
  } else {
    counts.push_back(word);  // no keyword: the counts come first
  }
  if (counts.empty() && text.token(word)) {
    if (word == "BINARY") {
      // The binary part starts after the keyword's line.
      const std::size_t eol = bytes.find('\n', bytes.find("BINARY"));
      return readBinary(path, bytes, eol == std::string::npos ? bytes.size() : eol + 1, layout);
    }
    counts.push_back(word);
  }
  while (counts.size() < 3 && text.token(word)) counts.push_back(word);
  const double anyCount = static_cast<double>(std::numeric_limits<int>::max());
  std::size_t nv = 0, nf = 0;
  if (counts.size() < 3 || !whole(std::strtod(counts[0].c_str(), nullptr), anyCount, nv) ||
      !whole(std::strtod(counts[1].c_str(), nullptr), anyCount, nf))
    fail(path, "cannot parse the off file (its counts)");
  // Every point and face takes at least one byte.
  if (nv > bytes.size() || nf > bytes.size()) {
    fail(path, "cannot parse the off file (it counts " + std::to_string(nv) + " points and " +
                   std::to_string(nf) + " faces in " + std::to_string(bytes.size()) + " bytes)");
  }
  const double limit = static_cast<double>(bytes.size());

  MeshFile out;
  out.points.reserve(nv);
  std::vector<double> values;
  const std::size_t coordinates = layout.homogeneous ? 4 : 3;
  for (std::size_t i = 0; i < nv; ++i) {
    if (!text.line(values) || values.size() < coordinates)
      fail(path, "cannot parse the off file (point " + std::to_string(i) + ")");
    const double w = layout.homogeneous ? values[3] : 1.0;
    out.points.push_back({values[0] / w, values[1] / w, values[2] / w});
  }
  out.polygons.reserve(nf);
  for (std::size_t f = 0; f < nf; ++f) {
    const std::string where = "cannot parse the off file (face " + std::to_string(f) + ")";
    std::size_t n = 0;
    if (!text.line(values) || !whole(values[0], limit, n) || values.size() < n + 1)
      fail(path, where);
    std::vector<int> face(n);
    for (std::size_t k = 0; k < n; ++k) {
      std::size_t id = 0;
      if (!whole(values[k + 1], limit, id) || id >= nv) {
        std::ostringstream what;
        what << "face " << f << " refers to point " << values[k + 1] << " of " << nv;
        fail(path, what.str());
      }
      face[k] = static_cast<int>(id);
    }
    out.polygons.push_back(std::move(face));  // entries after the indices are its colour
  }
  return out;
}

}  // namespace geom::detail
