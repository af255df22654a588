// Named values passed to score computers, and the components' status.
#ifndef QOR_VALUE_H
#define QOR_VALUE_H

#include <string>
#include <vector>

namespace QorCommon {

// A number or a text.
class Value {
 public:
  Value();
  explicit Value(double number);
  explicit Value(const char* text);
  Value& operator=(double number);
  Value& operator=(const std::string& text);
  bool IsString() const { return fbString; }
  // The number (the missing value for a text).
  operator double&() { return fNumber; }
  double GetNumber() const { return fNumber; }
  const std::string& GetString() const { return fText; }

 private:
  double fNumber;
  std::string fText;
  bool fbString;
};

// An ordered list of named values.
class ValueRecord {
 public:
  // `flags` is reserved by the components; 2 will do.
  explicit ValueRecord(int flags);
  void AddValue(const std::string& name, const Value& value);
  int Size() const { return static_cast<int>(fValues.size()); }
  const std::string& GetName(int i) const { return fNames[static_cast<size_t>(i)]; }
  Value& operator[](int i) { return fValues[static_cast<size_t>(i)]; }
  const Value& operator[](int i) const { return fValues[static_cast<size_t>(i)]; }
  void Clear();

 private:
  std::vector<std::string> fNames;
  std::vector<Value> fValues;
  int fFlags;
};

class QorStatus {
 public:
  QorStatus() = default;
  static QorStatus Error(std::string message);
  bool IsError() const { return fbError; }
  const std::string& GetMessage() const { return fMessage; }

 private:
  bool fbError = false;
  std::string fMessage;
};

}  // namespace QorCommon

#endif  // QOR_VALUE_H
