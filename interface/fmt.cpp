#include "interface/fmt.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "interface/units.hpp"

namespace tbl::io {

FmtList& FmtList::push_int(std::int64_t v) {
  values_.push_back({FmtValue::Kind::Int, v, 0.0, {}});
  return *this;
}

FmtList& FmtList::add(double v) {
  values_.push_back({FmtValue::Kind::Real, 0, v, {}});
  return *this;
}

FmtList& FmtList::add(std::string_view s) {
  values_.push_back({FmtValue::Kind::Str, 0, 0.0, s});
  return *this;
}

FmtList& FmtList::add(Lgl l) {
  values_.push_back({FmtValue::Kind::Logical, is_true(l.v) ? 1 : 0, 0.0, {}});
  return *this;
}

FmtList& FmtList::add(Ints a) {
  for (std::ptrdiff_t k = 0; k < a.n; ++k) push_int(a.p[k]);
  return *this;
}

FmtList& FmtList::add(Reals a) {
  for (std::ptrdiff_t k = 0; k < a.n; ++k) add(a.p[k]);
  return *this;
}

namespace {

// ---------------------------------------------------------------------------
// Parsed form of a record.

struct Node {
  enum class Type {
    Group,    // parenthesised list (children)
    Literal,  // quoted text
    Int,      // Iw[.m]
    Fixed,    // Fw.d
    Exp,      // Ew.d[Ee], Dw.d, ESw.d
    Gen,      // Gw.d[Ee]
    Alpha,    // A or Aw
    Logic,    // Lw
    SkipX,    // nX or TRn
    TabTo,    // Tn
    TabLeft,  // TLn
    Slash,    // /
    Colon,    // :
    Scale,    // kP
  };
  Type type = Type::Group;
  int repeat = 1;
  int w = -1;  // -1: not given
  int d = 0;
  int e = 0;  // exponent digits, 0: not given
  int m = -1;
  char letter = 'E';
  bool sci = false;  // ES
  std::string text;
  std::vector<Node> children;
};

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  Node parse() {
    skip_blanks();
    if (!eat('(')) fail("record must start with '('");
    Node root = parse_list();
    skip_blanks();
    if (pos_ != s_.size()) fail("text after the closing parenthesis");
    return root;
  }

 private:
  [[noreturn]] void fail(const char* why) {
    throw std::invalid_argument(std::string("format record: ") + why + " in " + std::string(s_));
  }
  void skip_blanks() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }
  bool eat(char c) {
    skip_blanks();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool peek_digit() {
    skip_blanks();
    return pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]));
  }
  int number() {
    skip_blanks();
    if (!peek_digit()) fail("number expected");
    int v = 0;
    while (pos_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == ' ')) {
      if (s_[pos_] != ' ') v = v * 10 + (s_[pos_] - '0');
      ++pos_;
    }
    return v;
  }
  char upper() {
    skip_blanks();
    if (pos_ >= s_.size()) fail("unexpected end");
    return static_cast<char>(std::toupper(static_cast<unsigned char>(s_[pos_])));
  }

  // Parses items up to and including the closing ')'.
  Node parse_list() {
    Node g;
    g.type = Node::Type::Group;
    for (;;) {
      skip_blanks();
      if (eat(')')) return g;
      if (pos_ >= s_.size()) fail("missing ')'");
      if (s_[pos_] == ',') {
        ++pos_;
        continue;
      }
      parse_item(g.children);
    }
  }

  void parse_item(std::vector<Node>& out) {
    skip_blanks();
    char c = s_[pos_];
    if (c == '\'' || c == '"') {
      Node n;
      n.type = Node::Type::Literal;
      n.text = quoted(c);
      out.push_back(std::move(n));
      return;
    }
    if (c == '/') {
      ++pos_;
      Node n;
      n.type = Node::Type::Slash;
      out.push_back(n);
      return;
    }
    if (c == ':') {
      ++pos_;
      Node n;
      n.type = Node::Type::Colon;
      out.push_back(n);
      return;
    }
    bool negative = false;
    if (c == '-' || c == '+') {
      negative = c == '-';
      ++pos_;
    }
    int count = -1;
    if (peek_digit()) count = number();
    if (eat('(')) {
      Node g = parse_list();
      g.repeat = count < 0 ? 1 : count;
      out.push_back(std::move(g));
      return;
    }
    char k = upper();
    ++pos_;
    Node n;
    switch (k) {
      case 'P':
        n.type = Node::Type::Scale;
        n.w = negative ? -count : count;
        if (count < 0) fail("scale factor needs a value");
        out.push_back(n);
        return;
      case 'X':
        n.type = Node::Type::SkipX;
        n.w = count < 0 ? 1 : count;
        out.push_back(n);
        return;
      case '/':
        for (int r = 0; r < (count < 0 ? 1 : count); ++r) {
          Node sl;
          sl.type = Node::Type::Slash;
          out.push_back(sl);
        }
        return;
      case 'T': {
        char k2 = upper();
        if (k2 == 'L' || k2 == 'R') {
          ++pos_;
          n.type = k2 == 'L' ? Node::Type::TabLeft : Node::Type::SkipX;
        } else {
          n.type = Node::Type::TabTo;
        }
        n.w = number();
        out.push_back(n);
        return;
      }
      case 'I':
        n.type = Node::Type::Int;
        n.w = number();
        if (eat('.')) n.m = number();
        break;
      case 'F':
        n.type = Node::Type::Fixed;
        n.w = number();
        if (!eat('.')) fail("F needs .d");
        n.d = number();
        break;
      case 'E':
      case 'D':
        n.type = Node::Type::Exp;
        n.letter = k;
        if (k == 'E' && upper() == 'S') {
          ++pos_;
          n.sci = true;
        }
        n.w = number();
        if (!eat('.')) fail("E/D needs .d");
        n.d = number();
        if (k == 'E' && pos_ < s_.size() && std::toupper(static_cast<unsigned char>(s_[pos_])) == 'E') {
          ++pos_;
          n.e = number();
        }
        break;
      case 'G':
        n.type = Node::Type::Gen;
        n.w = number();
        if (!eat('.')) fail("G needs .d");
        n.d = number();
        if (pos_ < s_.size() && std::toupper(static_cast<unsigned char>(s_[pos_])) == 'E') {
          ++pos_;
          n.e = number();
        }
        break;
      case 'A':
        n.type = Node::Type::Alpha;
        if (peek_digit()) n.w = number();
        break;
      case 'L':
        n.type = Node::Type::Logic;
        n.w = number();
        break;
      default:
        fail("unknown edit descriptor");
    }
    n.repeat = count < 0 ? 1 : count;
    out.push_back(std::move(n));
  }

  std::string quoted(char q) {
    ++pos_;
    std::string t;
    for (;;) {
      if (pos_ >= s_.size()) fail("unterminated text");
      char c = s_[pos_++];
      if (c == q) {
        if (pos_ < s_.size() && s_[pos_] == q) {
          t.push_back(q);
          ++pos_;
          continue;
        }
        return t;
      }
      t.push_back(c);
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

// ---------------------------------------------------------------------------
// Field editing.

std::string stars(int w) { return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*'); }

std::string right_justify(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

std::string edit_int(std::int64_t v, int w, int m) {
  if (m == 0 && v == 0) return std::string(static_cast<std::size_t>(w), ' ');
  std::string digits = std::to_string(v < 0 ? -static_cast<unsigned long long>(v)
                                            : static_cast<unsigned long long>(v));
  if (m > 0 && static_cast<int>(digits.size()) < m)
    digits.insert(0, static_cast<std::size_t>(m) - digits.size(), '0');
  if (v < 0) digits.insert(0, 1, '-');
  return right_justify(digits, w);
}

// Infinity and NaN, as the usual Fortran run time writes them.
bool edit_special(double x, int w, std::string& out) {
  if (std::isnan(x)) {
    out = w >= 3 ? right_justify("NaN", w) : stars(w);
    return true;
  }
  if (std::isinf(x)) {
    bool neg = std::signbit(x);
    if (w >= (neg ? 9 : 8))
      out = right_justify(neg ? "-Infinity" : "Infinity", w);
    else if (w >= (neg ? 4 : 3))
      out = right_justify(neg ? "-Inf" : "Inf", w);
    else
      out = stars(w);
    return true;
  }
  return false;
}

// Correctly rounded significant digits of |x| (x finite, nonzero): returns
// the digit string of length nsig and the decimal exponent p such that
// |x| ~ 0.d1d2... x 10^p.
void sig_digits(double x, int nsig, std::string& digits, int& p) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*e", nsig - 1, std::fabs(x));
  digits.clear();
  const char* q = buf;
  for (; *q && *q != 'e'; ++q)
    if (std::isdigit(static_cast<unsigned char>(*q))) digits.push_back(*q);
  p = std::atoi(q + 1) + 1;
}

// Ew.d, Dw.d, ESw.d with scale factor k.
std::string edit_exp(double x, int w, int d, int e, int k, char letter, bool sci) {
  std::string special;
  if (edit_special(x, w, special)) return special;
  if (sci) k = 1;
  bool neg = std::signbit(x);
  int before = k > 0 ? k : 0;         // digits before the point
  int after = k > 0 ? d - k + 1 : d;  // digits after the point
  if (k <= -d || k >= d + 2 || after < 0) return stars(w);
  int nsig = k > 0 ? d + 1 : d + k;  // significant digits shown
  std::string digits;
  int p = 0;
  if (x == 0.0) {
    digits.assign(static_cast<std::size_t>(nsig > 0 ? nsig : 0), '0');
    p = k > 0 ? 0 : 0;
  } else if (nsig > 0) {
    sig_digits(x, nsig, digits, p);
  }
  int expo = (x == 0.0) ? 0 : p - k;
  // Mantissa: k <= 0 gives 0.00ddd (|k| zeros), k > 0 gives ddd.ddd.
  std::string mant;
  if (k > 0) {
    mant = digits.substr(0, static_cast<std::size_t>(before)) + "." +
           digits.substr(static_cast<std::size_t>(before));
  } else {
    mant = "." + std::string(static_cast<std::size_t>(-k), '0') + digits;
  }
  std::string ex;
  int a = expo < 0 ? -expo : expo;
  char sign = expo < 0 ? '-' : '+';
  if (e > 0) {
    std::string ds = std::to_string(a);
    if (static_cast<int>(ds.size()) > e) return stars(w);
    ex = std::string(1, letter == 'D' ? 'E' : letter) + sign +
         std::string(static_cast<std::size_t>(e) - ds.size(), '0') + ds;
  } else if (a <= 99) {
    char b[8];
    std::snprintf(b, sizeof b, "%c%c%02d", letter, sign, a);
    ex = b;
  } else if (a <= 999) {
    char b[8];
    std::snprintf(b, sizeof b, "%c%03d", sign, a);
    ex = b;
  } else {
    return stars(w);
  }
  std::string body = mant + ex;
  if (neg) body.insert(0, 1, '-');
  int len = static_cast<int>(body.size());
  // The optional zero before the point, when there is room for it.
  if (k <= 0 && len < w) {
    body.insert(neg ? 1 : 0, 1, '0');
    ++len;
  }
  if (len > w) return stars(w);
  return right_justify(body, w);
}

// Fw.d with scale factor k (the value is shown multiplied by 10^k).
std::string edit_fixed(double x, int w, int d, int k) {
  std::string special;
  if (edit_special(x, w, special)) return special;
  bool neg = std::signbit(x);
  int places = d + k;  // rounding position relative to the unscaled value
  std::string s;
  if (places >= 0) {
    std::vector<char> buf(static_cast<std::size_t>(places) + 400);
    std::snprintf(buf.data(), buf.size(), "%.*f", places, std::fabs(x));
    s = buf.data();
  } else {
    // Rounding left of the point: round |x| to a multiple of 10^-places.
    double scale = std::pow(10.0, -places);
    std::vector<char> buf(400);
    std::snprintf(buf.data(), buf.size(), "%.0f", std::nearbyint(std::fabs(x) / scale));
    s = buf.data();
    s.append(static_cast<std::size_t>(-places), '0');
  }
  // Move the point k places to the right (digit shifting, no arithmetic).
  std::string intpart, frac;
  auto dot = s.find('.');
  if (dot == std::string::npos) {
    intpart = s;
  } else {
    intpart = s.substr(0, dot);
    frac = s.substr(dot + 1);
  }
  std::string all = intpart + frac;
  int point = static_cast<int>(intpart.size()) + k;
  if (point < 0) {
    all.insert(0, static_cast<std::size_t>(-point), '0');
    point = 0;
  }
  while (static_cast<int>(all.size()) < point + d) all.push_back('0');
  intpart = all.substr(0, static_cast<std::size_t>(point));
  frac = all.substr(static_cast<std::size_t>(point), static_cast<std::size_t>(d));
  std::size_t nz = intpart.find_first_not_of('0');
  intpart = nz == std::string::npos ? "" : intpart.substr(nz);
  std::string body = intpart + "." + frac;
  if (neg) body.insert(0, 1, '-');
  int len = static_cast<int>(body.size());
  if (intpart.empty() && (len < w || d == 0)) {
    body.insert(neg ? 1 : 0, 1, '0');
    ++len;
  }
  if (len > w) return stars(w);
  return right_justify(body, w);
}

// Gw.d: fixed form for magnitudes from 0.1 to 10^d (decided after rounding
// to d significant digits), followed by blanks in place of the exponent;
// exponent form otherwise.  The scale factor applies to the exponent form
// only.  A fixed form too wide for its field fills the whole field with
// asterisks, blanks included.
std::string edit_gen(double x, int w, int d, int e, int k, char letter) {
  std::string special;
  if (edit_special(x, w, special)) return special;
  const int n = e > 0 ? e + 2 : 4;
  const auto fixed = [&](int places) {
    if (w <= n) return stars(w);
    std::string f = edit_fixed(x, w - n, places, 0);
    if (f.find('*') != std::string::npos) return stars(w);
    return f + std::string(static_cast<std::size_t>(n), ' ');
  };
  if (x == 0.0) return fixed(d > 0 ? d - 1 : 0);
  if (d == 0) return edit_exp(x, w, d, e, k, letter, false);
  // Each range boundary is 10^p scaled by (1 - 0.5 10^-d), the product
  // rounded in double precision, and a value equal to it goes up: values
  // within an ulp of a boundary then take the form the usual run time gives.
  double pow10d = 1.0;
  for (int i = 0; i < d; ++i) pow10d *= 10.0;
  const double shrink = 1.0 - 0.5 / pow10d;
  const double m = std::fabs(x);
  if (m < 0.1 * shrink || 0.5 >= pow10d - m) return edit_exp(x, w, d, e, k, letter, false);
  int p = 0;
  for (double pow10p = 1.0; p < d && !(m < pow10p * shrink); pow10p *= 10.0) ++p;
  return fixed(d - p);
}

std::string edit_alpha(std::string_view s, int w) {
  if (w < 0) return std::string(s);
  if (static_cast<int>(s.size()) >= w) return std::string(s.substr(0, static_cast<std::size_t>(w)));
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + std::string(s);
}

// ---------------------------------------------------------------------------
// Execution of a parsed record against a list of values.

class Runner {
 public:
  Runner(const Node& root, const std::vector<FmtValue>& values) : root_(root), values_(values) {}

  std::vector<std::string> run() {
    // Reversion restarts at the last parenthesised group of the top level
    // (with its repeat count), or at the start when there is none.
    std::size_t revert = 0;
    for (std::size_t k = 0; k < root_.children.size(); ++k)
      if (root_.children[k].type == Node::Type::Group) revert = k;
    bool has_group = false;
    for (const Node& c : root_.children) has_group = has_group || c.type == Node::Type::Group;

    std::size_t start = 0;
    for (;;) {
      std::size_t used_before = next_;
      if (!run_list(root_.children, start)) break;
      // End of the record list reached.
      if (next_ >= values_.size()) break;
      if (next_ == used_before) throw std::invalid_argument("format record: values left but no data descriptor");
      end_record();
      start = has_group ? revert : 0;
    }
    end_record();
    return std::move(lines_);
  }

 private:
  // Returns false when the output list is finished (terminate).
  bool run_list(const std::vector<Node>& items, std::size_t from) {
    for (std::size_t k = from; k < items.size(); ++k) {
      const Node& n = items[k];
      for (int r = 0; r < n.repeat; ++r) {
        if (!run_node(n)) return false;
      }
    }
    return true;
  }

  bool run_node(const Node& n) {
    switch (n.type) {
      case Node::Type::Group:
        return run_list(n.children, 0);
      case Node::Type::Literal:
        put(n.text);
        return true;
      case Node::Type::SkipX:
        pos_ += n.w;
        return true;
      case Node::Type::TabTo:
        pos_ = n.w > 0 ? n.w - 1 : 0;
        return true;
      case Node::Type::TabLeft:
        pos_ = pos_ > static_cast<std::size_t>(n.w) ? pos_ - n.w : 0;
        return true;
      case Node::Type::Slash:
        end_record();
        return true;
      case Node::Type::Colon:
        return next_ < values_.size();
      case Node::Type::Scale:
        scale_ = n.w;
        return true;
      default:
        break;
    }
    if (next_ >= values_.size()) return false;
    const FmtValue& v = values_[next_++];
    put(edit(n, v));
    return true;
  }

  std::string edit(const Node& n, const FmtValue& v) {
    using K = FmtValue::Kind;
    switch (n.type) {
      case Node::Type::Int:
        if (v.kind != K::Int) mismatch(n);
        return edit_int(v.i, n.w, n.m);
      case Node::Type::Fixed:
        return edit_fixed(real(n, v), n.w, n.d, scale_);
      case Node::Type::Exp:
        return edit_exp(real(n, v), n.w, n.d, n.e, scale_, n.letter, n.sci);
      case Node::Type::Gen:
        if (v.kind == K::Int) return edit_int(v.i, n.w, -1);
        if (v.kind == K::Str) return edit_alpha(v.s, n.w);
        if (v.kind == K::Logical) return right_justify(v.i ? "T" : "F", n.w);
        return edit_gen(v.d, n.w, n.d, n.e, scale_, 'E');
      case Node::Type::Alpha:
        if (v.kind != K::Str) mismatch(n);
        return edit_alpha(v.s, n.w);
      case Node::Type::Logic:
        if (v.kind != K::Logical) mismatch(n);
        return right_justify(v.i ? "T" : "F", n.w);
      default:
        mismatch(n);
    }
  }

  double real(const Node& n, const FmtValue& v) {
    if (v.kind != FmtValue::Kind::Real) mismatch(n);
    return v.d;
  }

  [[noreturn]] void mismatch(const Node&) {
    throw std::invalid_argument("format record: value does not match its edit descriptor");
  }

  void put(const std::string& s) {
    if (line_.size() < pos_) line_.resize(pos_, ' ');
    line_.replace(pos_, std::min(s.size(), line_.size() - pos_), s);
    pos_ += s.size();
  }

  void end_record() {
    lines_.push_back(std::move(line_));
    line_.clear();
    pos_ = 0;
  }

  const Node& root_;
  const std::vector<FmtValue>& values_;
  std::size_t next_ = 0;
  int scale_ = 0;
  std::string line_;
  std::size_t pos_ = 0;
  std::vector<std::string> lines_;
};

}  // namespace

std::vector<std::string> format_lines(std::string_view record, const FmtList& values) {
  Node root = Parser(record).parse();
  return Runner(root, values.values()).run();
}

std::string format_text(std::string_view record, const FmtList& values) {
  std::string out;
  for (const std::string& l : format_lines(record, values)) {
    out += l;
    out += '\n';
  }
  return out;
}

void write_list(fint unit, std::string_view record, const FmtList& values) {
  for (const std::string& l : format_lines(record, values)) unit_write_line(unit, l);
}

}  // namespace tbl::io
