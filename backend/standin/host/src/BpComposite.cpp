// A message whose placeholders are filled from a tree of items; the rule is
// in ProcOutput.h. Items that are sublists show, where a plain item is
// expected, as their entries joined by ", ".
#include <vorm/ProcOutput.h>

#include <cctype>
#include <cstdio>

#include "standin/HostControl.h"

namespace {

struct Node {
  std::string fText;
  bool fbList = false;
  std::vector<Node> fItems;
};

std::string TextOf(const Node& node) {
  if (!node.fbList) return node.fText;
  std::string text;
  for (size_t i = 0; i < node.fItems.size(); ++i) {
    if (i > 0) text += ", ";
    text += TextOf(node.fItems[i]);
  }
  return text;
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Reads the number at `pos` (which holds a digit) and moves past it.
size_t ReadNumber(const std::string& text, size_t& pos) {
  size_t n = 0;
  while (pos < text.size() && IsDigit(text[pos])) n = n * 10 + static_cast<size_t>(text[pos++] - '0');
  return n;
}

// Fills "%1"/"^1" and "%2"/"^2" of a bracketed template part from one pair;
// other numbers give nothing.
std::string FillPair(const std::string& part, const std::string& first, const std::string& second) {
  std::string out;
  for (size_t i = 0; i < part.size();) {
    const char c = part[i];
    if ((c == '%' || c == '^') && i + 1 < part.size() && IsDigit(part[i + 1])) {
      ++i;
      const size_t n = ReadNumber(part, i);
      if (n == 1) out += first;
      if (n == 2) out += second;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace

struct BpComposite::Rep {
  std::string fTemplate;
  Node fRoot{"", true, {}};
  // Open lists, innermost last. Each open sublist is the last item of the list
  // below it, and only the innermost list grows, so the pointers stay valid.
  std::vector<Node*> fOpen;
  bool fbFinished = false;
  std::string fFinal;

  Node& Current() { return *fOpen.back(); }

  const Node* Item(size_t n) const {
    return n >= 1 && n <= fRoot.fItems.size() ? &fRoot.fItems[n - 1] : nullptr;
  }

  // Expands "[FIRST:REST:]n" starting at `pos` (a '['); false, with nothing
  // consumed, when the text there is not such a template.
  bool ExpandList(size_t& pos, std::string& out) const {
    const std::string& t = fTemplate;
    const size_t close = t.find(']', pos + 1);
    if (close == std::string::npos || close + 1 >= t.size() || !IsDigit(t[close + 1])) return false;
    const std::string body = t.substr(pos + 1, close - pos - 1);
    const size_t firstColon = body.find(':');
    const size_t lastColon = body.rfind(':');
    if (firstColon == std::string::npos || lastColon != body.size() - 1 || firstColon == lastColon)
      return false;
    const std::string first = body.substr(0, firstColon);
    const std::string rest = body.substr(firstColon + 1, lastColon - firstColon - 1);
    size_t after = close + 1;
    const Node* item = Item(ReadNumber(t, after));
    pos = after;
    if (item == nullptr) return true;
    std::vector<std::string> entries;
    if (item->fbList) {
      for (const Node& entry : item->fItems) entries.push_back(TextOf(entry));
    } else {
      entries.push_back(item->fText);
    }
    for (size_t p = 0; p < entries.size(); p += 2) {
      const std::string second = p + 1 < entries.size() ? entries[p + 1] : "";
      out += FillPair(p == 0 ? first : rest, entries[p], second);
    }
    return true;
  }

  std::string Expand() const {
    const std::string& t = fTemplate;
    std::string out;
    for (size_t i = 0; i < t.size();) {
      const char c = t[i];
      if ((c == '%' || c == '^') && i + 1 < t.size() && IsDigit(t[i + 1])) {
        ++i;
        const Node* item = Item(ReadNumber(t, i));
        if (item != nullptr) out += TextOf(*item);
        continue;
      }
      if (c == '[' && ExpandList(i, out)) continue;
      out += c;
      ++i;
    }
    return out;
  }

  bool Open(const char* operation) {
    if (!fbFinished) return true;
    std::fprintf(stderr, "BpComposite: %s after Finish is ignored\n", operation);
    return false;
  }
};

BpComposite::BpComposite(const std::string& text, bool /*translate*/) : fpRep(std::make_unique<Rep>()) {
  fpRep->fTemplate = text;
  fpRep->fOpen.push_back(&fpRep->fRoot);
}

BpComposite::~BpComposite() = default;

void BpComposite::Add(const BpCellText& item) {
  if (!fpRep->Open("Add")) return;
  fpRep->Current().fItems.push_back(Node{item.Text(), false, {}});
}

void BpComposite::Sublist() {
  if (!fpRep->Open("Sublist")) return;
  Node& current = fpRep->Current();
  current.fItems.push_back(Node{"", true, {}});
  fpRep->fOpen.push_back(&current.fItems.back());
}

void BpComposite::EndSublist() {
  if (!fpRep->Open("EndSublist")) return;
  if (fpRep->fOpen.size() < 2) {
    std::fprintf(stderr, "BpComposite: EndSublist without an open sublist is ignored\n");
    return;
  }
  fpRep->fOpen.pop_back();
}

void BpComposite::SplitList() {
  if (!fpRep->Open("SplitList")) return;
  for (const auto& [name, value] : standin::CurrentSplitGroup()) {
    fpRep->Current().fItems.push_back(Node{name, false, {}});
    fpRep->Current().fItems.push_back(Node{value, false, {}});
  }
}

void BpComposite::Finish() {
  if (fpRep->fbFinished) return;
  fpRep->fOpen.resize(1);
  fpRep->fFinal = fpRep->Expand();
  fpRep->fbFinished = true;
}

std::string BpComposite::Text() const { return fpRep->fbFinished ? fpRep->fFinal : fpRep->Expand(); }
