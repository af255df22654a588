// Named values for score computers and the components' status. A text value
// reads as the missing value when taken as a number; a default value is a
// missing number.
#include <qor/Record.h>
#include <qor/Value.h>

namespace QorCommon {

Value::Value() : fNumber(QorMV::MISSING), fbString(false) {}

Value::Value(double number) : fNumber(number), fbString(false) {}

Value::Value(const char* text) : fNumber(QorMV::MISSING), fText(text ? text : ""), fbString(true) {}

Value& Value::operator=(double number) {
  fNumber = number;
  fText.clear();
  fbString = false;
  return *this;
}

Value& Value::operator=(const std::string& text) {
  fNumber = QorMV::MISSING;
  fText = text;
  fbString = true;
  return *this;
}

ValueRecord::ValueRecord(int flags) : fFlags(flags) {}

void ValueRecord::AddValue(const std::string& name, const Value& value) {
  fNames.push_back(name);
  fValues.push_back(value);
}

void ValueRecord::Clear() {
  fNames.clear();
  fValues.clear();
}

QorStatus QorStatus::Error(std::string message) {
  QorStatus status;
  status.fbError = true;
  status.fMessage = std::move(message);
  return status;
}

}  // namespace QorCommon
