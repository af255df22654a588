// The procedure framework's output: message cells, composites, errors, the
// host text type and the output stream. Messages are issued from the
// procedure's thread.
#ifndef VORM_PROCOUTPUT_H
#define VORM_PROCOUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "vorm/Dictionary.h"

// The host's text type.
class BP_Character {
 public:
  BP_Character() = default;
  BP_Character(const char* text) : fText(text ? text : "") {}  // NOLINT: implicit by design
  BP_Character(std::string text) : fText(std::move(text)) {}   // NOLINT: implicit by design
  const char* GetStr() const { return fText.c_str(); }
  const std::string& str() const { return fText; }
  BP_Character& operator+=(const BP_Character& other) {
    fText += other.fText;
    return *this;
  }
  BP_Character& operator+=(const char* text) {
    fText += text ? text : "";
    return *this;
  }

 private:
  std::string fText;
};

// Writes `text` to the host's output after `lineFeeds` line ends.
void BP_ToFront(long lineFeeds, const BP_Character& text);

// How a number is shown in a message.
struct BpFormatSpec {
  int fDecimals = 0;
};

// A new split group begins, and the format of case counts. Procedures derive
// from it to hear of split-group changes.
class BpProcedure {
 public:
  virtual ~BpProcedure() = default;
  virtual void SplitChange() {}
  static BpFormatSpec Count() { return BpFormatSpec{0}; }
};

// One item of a message.
class BpCellText {
 public:
  virtual ~BpCellText() = default;
  // The item as text.
  virtual std::string Text() const = 0;
};

class BpString : public BpCellText {
 public:
  BpString(std::string text, bool translate);
  std::string Text() const override;

 private:
  std::string fText;
};

class BpNumber : public BpCellText {
 public:
  BpNumber(double value, BpFormatSpec format);
  std::string Text() const override;

 private:
  double fValue;
  BpFormatSpec fFormat;
};

// A variable, shown by name (Show 2) or by name and label.
class BpVariable : public BpCellText {
 public:
  enum Show : int { ShowName = 1, ShowNameOrLabel = 2, ShowNameAndLabel = 3 };
  BpVariable(const VORM_Variable& variable, Show show);
  std::string Text() const override;

 private:
  std::string fName;
  std::string fLabel;
  Show fShow;
};

// A value of a variable, shown as formatted value or as its value label.
class BpDataValue : public BpCellText {
 public:
  enum Preference : int { PreferValue = 1, PreferValueOrLabel = 2, PreferValueAndLabel = 3 };
  BpDataValue(const VORM_Variable& variable, const OBS* value, Preference preference);
  std::string Text() const override;

 private:
  std::string fValue;
  std::string fLabel;
  Preference fPreference;
};

// A message text with placeholders filled from its items. Outside brackets,
// "%n" and "^n" stand for top-level item n (1-based). A bracketed template
// "[FIRST:REST:]n" lists the sublist that is item n, taken as pairs of
// entries: the first pair is written with FIRST, every later pair with REST,
// where "%1"/"^1" stand for the pair's first entry and "%2"/"^2" for its
// second. So "[%1 = %2:, ^1 = ^2:]2" over the pairs (a, 1), (b, 2) reads
// "a = 1, b = 2", and over no pairs reads nothing.
class BpComposite : public BpCellText {
 public:
  BpComposite(const std::string& text, bool translate);
  ~BpComposite() override;
  BpComposite(const BpComposite&) = delete;
  BpComposite& operator=(const BpComposite&) = delete;

  // Appends one item to the current list (the top level or the open sublist).
  void Add(const BpCellText& item);
  // Opens a sublist, which becomes one item of the enclosing list.
  void Sublist();
  void EndSublist();
  // Adds the current split group's variables and values, as pairs, to the
  // open sublist.
  void SplitList();
  // Completes the composite; its text is final afterwards.
  void Finish();
  std::string Text() const override;

 private:
  struct Rep;
  std::unique_ptr<Rep> fpRep;
};

enum BpErrorShow : int { BpShowNone = 0, BpShowBrief = 1, BpShowFull = 2 };
enum BpErrorLevel : int { BpLevelNote = 1, BpLevelWarning = 2, BpLevelError = 3 };

// Issues a message to the user.
void BpError(const BpCellText& text, BpErrorShow show, BpErrorLevel level);

#endif  // VORM_PROCOUTPUT_H
