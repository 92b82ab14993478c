#include "engine/keys/LooseKeys.h"

#include <algorithm>
#include <array>

namespace keys {

namespace {

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v' ||
         c == u'\u00A0' || c == u'\u2028' || c == u'\u2029' || c == u'\u3000';
}

char16_t Lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c - u'A' + u'a');
  if (c == u'\u00C9') return u'\u00E9';  // É, for "RÉF."
  return c;
}

std::u16string LowerAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = Lower(c);
  return out;
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The length of a reply or forward prefix at the start of text (its word,
// an optional count in brackets or parentheses, optional blanks, and the
// colon), or 0 when text does not start with one.
std::size_t PrefixLength(std::u16string_view text) {
  static constexpr std::array<std::u16string_view, 9> kWords = {
      u"re", u"fwd", u"fw", u"aw", u"wg", u"sv", u"vs", u"antw", u"r\u00E9f."};
  for (std::u16string_view word : kWords) {
    if (text.size() < word.size() || LowerAscii(text.substr(0, word.size())) != word) continue;
    std::size_t i = word.size();
    if (i < text.size() && (text[i] == u'[' || text[i] == u'(')) {
      const char16_t close = text[i] == u'[' ? u']' : u')';
      std::size_t j = i + 1;
      while (j < text.size() && text[j] >= u'0' && text[j] <= u'9') ++j;
      if (j == i + 1 || j >= text.size() || text[j] != close) continue;
      i = j + 1;
    }
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == u':' || text[i] == u'\uFF1A')) return i + 1;
  }
  return 0;
}

// The length of a list tag "[name]" at the start of text, or 0.
std::size_t TagLength(std::u16string_view text) {
  if (text.empty() || text.front() != u'[') return 0;
  const std::size_t close = text.find(u']');
  if (close == std::u16string_view::npos || close == 1) return 0;
  return close + 1;
}

// The address of one entry, lower-cased, or the entry itself when it has none.
std::u16string AddressOf(std::u16string_view entry) {
  entry = Trim(entry);
  const std::size_t open = entry.rfind(u'<');
  const std::size_t close = entry.rfind(u'>');
  if (open != std::u16string_view::npos && close != std::u16string_view::npos && close > open)
    return LowerAscii(Trim(entry.substr(open + 1, close - open - 1)));
  const std::size_t paren = entry.find(u'(');
  if (paren != std::u16string_view::npos && entry.substr(0, paren).find(u'@') != std::u16string_view::npos)
    return LowerAscii(Trim(entry.substr(0, paren)));
  return LowerAscii(entry);
}

// Splits at sep where it stands outside quotes, angle brackets and parentheses.
std::vector<std::u16string_view> SplitOutside(std::u16string_view text, char16_t sep) {
  std::vector<std::u16string_view> parts;
  bool bQuoted = false;
  int nDepth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"') bQuoted = !bQuoted;
    else if (!bQuoted && (c == u'<' || c == u'(')) ++nDepth;
    else if (!bQuoted && (c == u'>' || c == u')') && nDepth > 0) --nDepth;
    else if (!bQuoted && nDepth == 0 && c == sep) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace

std::u16string NormalizeSubject(std::u16string_view subject) {
  std::u16string_view rest = Trim(subject);
  while (true) {
    const std::size_t n = PrefixLength(rest);
    const std::size_t tag = n == 0 ? TagLength(rest) : 0;
    if (n == 0 && tag == 0) break;
    rest = Trim(rest.substr(n + tag));
  }
  return NormalizeSpaces(rest);
}

std::u16string NormalizeAddresses(std::u16string_view addresses) {
  std::vector<std::u16string> entries;
  for (std::u16string_view entry : SplitOutside(addresses, u';')) {
    const std::vector<std::u16string_view> pieces = SplitOutside(entry, u',');
    const bool bAllAddresses =
        pieces.size() > 1 && std::all_of(pieces.begin(), pieces.end(), [](std::u16string_view p) {
          return p.find(u'@') != std::u16string_view::npos;
        });
    if (bAllAddresses) {
      for (std::u16string_view piece : pieces) entries.push_back(AddressOf(piece));
    } else {
      entries.push_back(AddressOf(entry));
    }
  }
  std::erase_if(entries, [](const std::u16string& e) { return e.empty(); });
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  std::u16string out;
  for (const std::u16string& e : entries) {
    if (!out.empty()) out += u';';
    out += e;
  }
  return out;
}

std::u16string NormalizeSpaces(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  bool bSpace = false;
  for (char16_t c : Trim(text)) {
    if (IsSpace(c)) {
      bSpace = true;
      continue;
    }
    if (bSpace) out += u' ';
    bSpace = false;
    out += c;
  }
  return out;
}

std::string NormalizeSpacesUtf8(std::string_view bytes) {
  const auto isSpace = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
  };
  std::string out;
  out.reserve(bytes.size());
  bool bSpace = false;
  for (char c : bytes) {
    if (isSpace(c)) {
      bSpace = !out.empty();
      continue;
    }
    if (bSpace) out += ' ';
    bSpace = false;
    out += c;
  }
  return out;
}

std::vector<std::size_t> ChainStarts(const std::vector<std::int64_t>& sortedDates,
                                     std::int64_t toleranceSeconds) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < sortedDates.size(); ++i)
    if (i == 0 || sortedDates[i] - sortedDates[i - 1] > toleranceSeconds) starts.push_back(i);
  return starts;
}

}  // namespace keys
