// Reads a transformation model from a PMML 4.x document: the inputs from the
// DataDictionary, the derived fields from the TransformationDictionary, and
// each derived field's expression compiled into nodes once. Every problem is
// reported with what is wrong and where (element path and line, or the
// field's name); nothing external is ever resolved or fetched.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <string_view>

#include "TransformModel.h"
#include "Utf8.h"

namespace QorTransform {
namespace {

// Expressions may nest this deep (a derived field's own expression is level 1).
constexpr int MAX_EXPRESSION_DEPTH = 64;
// Lookup tables may match on at most this many fields.
constexpr int MAX_MAP_COLUMNS = 16;

struct ModelError {
  std::string fMessage;
};

// Model elements of PMML: a document holding one is not a transformation model.
const std::set<std::string_view> MODEL_ELEMENTS = {"AnomalyDetectionModel",
                                                   "AssociationModel",
                                                   "BayesianNetworkModel",
                                                   "BaselineModel",
                                                   "ClusteringModel",
                                                   "GaussianProcessModel",
                                                   "GeneralRegressionModel",
                                                   "MiningModel",
                                                   "NaiveBayesModel",
                                                   "NearestNeighborModel",
                                                   "NeuralNetwork",
                                                   "RegressionModel",
                                                   "RuleSetModel",
                                                   "SequenceModel",
                                                   "Scorecard",
                                                   "SupportVectorMachineModel",
                                                   "TextModel",
                                                   "TimeSeriesModel",
                                                   "TreeModel"};

// Expression elements of PMML that this reader does not handle.
const std::set<std::string_view> OTHER_EXPRESSIONS = {"Aggregate", "Lag", "TextIndex"};

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// A finite number written in full (surrounding white space allowed).
bool ParseNumber(std::string_view text, double& number) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, number);
  return ec == std::errc() && ptr == end && std::isfinite(number);
}

// A boolean as XML Schema writes it: true, false, 1 or 0 (surrounding white
// space allowed); true reads as 1, false as 0.
bool ParseBoolean(std::string_view text, double& number) {
  text = Trim(text);
  if (text == "true" || text == "1") {
    number = 1.0;
    return true;
  }
  if (text == "false" || text == "0") {
    number = 0.0;
    return true;
  }
  return false;
}

// Whether an XML document may hold the character `code` (the Char production
// of XML 1.0: no NUL, no other control character but tab, line feed and
// carriage return, no surrogate, nothing above U+10FFFF).
bool IsXmlChar(unsigned long code) {
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

bool IsNumericType(std::string_view dataType) {
  return dataType == "double" || dataType == "float" || dataType == "integer" || dataType == "boolean";
}

// A name in quotes for messages.
std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

struct FunctionInfo {
  Op fOp;
  int fMinArgs;
  int fMaxArgs;  // -1: no upper bound
};

const std::map<std::string_view, FunctionInfo> FUNCTIONS = {
    {"+", {Op::Add, 2, 2}},
    {"-", {Op::Sub, 2, 2}},
    {"*", {Op::Mul, 2, 2}},
    {"/", {Op::Div, 2, 2}},
    {"min", {Op::Min, 1, -1}},
    {"max", {Op::Max, 1, -1}},
    {"sum", {Op::Sum, 1, -1}},
    {"avg", {Op::Avg, 1, -1}},
    {"product", {Op::Product, 1, -1}},
    {"log10", {Op::Log10, 1, 1}},
    {"ln", {Op::Ln, 1, 1}},
    {"exp", {Op::Exp, 1, 1}},
    {"sqrt", {Op::Sqrt, 1, 1}},
    {"abs", {Op::Abs, 1, 1}},
    {"pow", {Op::Pow, 2, 2}},
    {"threshold", {Op::Threshold, 2, 2}},
    {"floor", {Op::Floor, 1, 1}},
    {"ceil", {Op::Ceil, 1, 1}},
    {"round", {Op::Round, 1, 1}},
    {"isMissing", {Op::IsMissing, 1, 1}},
    {"isNotMissing", {Op::IsNotMissing, 1, 1}},
    {"equal", {Op::Equal, 2, 2}},
    {"notEqual", {Op::NotEqual, 2, 2}},
    {"lessThan", {Op::Less, 2, 2}},
    {"lessOrEqual", {Op::LessOrEqual, 2, 2}},
    {"greaterThan", {Op::Greater, 2, 2}},
    {"greaterOrEqual", {Op::GreaterOrEqual, 2, 2}},
    {"and", {Op::And, 2, -1}},
    {"or", {Op::Or, 2, -1}},
    {"not", {Op::Not, 1, 1}},
    {"isIn", {Op::IsIn, 2, 2}},
    {"isNotIn", {Op::IsNotIn, 2, 2}},
    {"if", {Op::If, 2, 3}},
};

class Reader {
 public:
  explicit Reader(const std::string& text) : fText(text), fpModel(std::make_unique<Model>()) {}

  std::unique_ptr<Model> Read() {
    // The text is read as UTF-8, which an XML document without another
    // declared encoding is; bytes that are not UTF-8 make it malformed.
    if (const size_t bad = standin_common::FirstInvalidUtf8(fText); bad != std::string_view::npos) {
      throw ModelError{"malformed XML: the text is not valid UTF-8 (line " + std::to_string(LineAt(bad)) +
                       ")"};
    }
    PreScan();
    pugi::xml_parse_result parsed =
        fDocument.load_buffer(fText.data(), fText.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
      throw ModelError{"malformed XML: " + std::string(parsed.description()) + " (line " +
                       std::to_string(LineAt(static_cast<size_t>(parsed.offset))) + ")"};
    }
    int roots = 0;
    for (pugi::xml_node child : fDocument.children()) roots += child.type() == pugi::node_element ? 1 : 0;
    if (roots != 1) throw ModelError{"malformed XML: the document must have exactly one root element"};
    pugi::xml_node root = fDocument.document_element();
    if (std::string_view(root.name()) != "PMML") {
      Fail(root, "the root element is <" + std::string(root.name()) + ">, not <PMML>");
    }
    std::string_view version = root.attribute("version").value();
    if (version.substr(0, 2) != "4.") {
      Fail(root, "PMML version " + Quoted(version) + " is not read; only version 4.x documents are");
    }

    pugi::xml_node dataDictionary, transformations;
    for (pugi::xml_node child : root.children()) {
      if (child.type() != pugi::node_element) continue;
      std::string_view name = child.name();
      if (name == "Header" || name == "Extension" || name == "MiningBuildTask") continue;
      if (name == "DataDictionary" || name == "TransformationDictionary") {
        pugi::xml_node& slot = name == "DataDictionary" ? dataDictionary : transformations;
        if (slot) Fail(child, "a second <" + std::string(name) + "> element");
        slot = child;
        continue;
      }
      if (MODEL_ELEMENTS.count(name)) {
        Fail(child, "the document holds a <" + std::string(name) +
                        "> model; only transformation models (a TransformationDictionary and no model "
                        "element) are read");
      }
      Unexpected(child);
    }
    if (!dataDictionary) Fail(root, "the document has no <DataDictionary>");
    if (!transformations) Fail(root, "the document has no <TransformationDictionary>");
    ReadDataDictionary(dataDictionary);
    ReadTransformationDictionary(transformations);
    BuildProgram(*fpModel);
    return std::move(fpModel);
  }

 private:
  // What the compiler knows about a field name.
  struct FieldRefInfo {
    bool fbInput;
    int fIndex;
    Kind fKind;
    bool fbBoolean;
  };

  // How a value's text is read: as text, a number or a boolean.
  struct ValueType {
    Kind fKind;
    bool fbBoolean;
  };

  // --- Locations and errors ---------------------------------------------

  int LineAt(size_t offset) const {
    offset = std::min(offset, fText.size());
    return 1 + static_cast<int>(
                   std::count(fText.begin(), fText.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
  }

  // "/PMML/TransformationDictionary/DerivedField[@name='z']/Apply[@function='+'], line 12"
  std::string Where(pugi::xml_node node) const {
    std::string path;
    for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent()) {
      std::string step = "/" + std::string(n.name());
      for (const char* key : {"name", "function", "field"}) {
        if (pugi::xml_attribute a = n.attribute(key)) {
          step += "[@" + std::string(key) + "='" + a.value() + "']";
          break;
        }
      }
      path = step + path;
    }
    std::string where = "at " + path;
    if (node.offset_debug() >= 0)
      where += ", line " + std::to_string(LineAt(static_cast<size_t>(node.offset_debug())));
    return where;
  }

  [[noreturn]] void Fail(pugi::xml_node node, const std::string& what) const {
    throw ModelError{what + " (" + Where(node) + ")"};
  }

  [[noreturn]] void Unexpected(pugi::xml_node node) const {
    Fail(node, "unknown or unsupported element <" + std::string(node.name()) + ">");
  }

  // Rejects DTDs and entity references other than the predefined ones and
  // character references before the parser sees the text, and characters
  // that no XML document may hold, written as they are or as references.
  // Comments and CDATA sections are skipped but for their characters.
  void PreScan() const {
    const std::string& t = fText;
    for (size_t i = 0; i < t.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(t[i]);
      if (c < 0x20 && !IsXmlChar(c)) {
        throw ModelError{"malformed XML: control character " + Hex(c) + " (line " +
                         std::to_string(LineAt(i)) + ")"};
      }
    }
    size_t i = 0;
    while (i < t.size()) {
      if (t.compare(i, 4, "<!--") == 0) {
        size_t end = t.find("-->", i + 4);
        if (end == std::string::npos) return;  // the parser reports it
        i = end + 3;
      } else if (t.compare(i, 9, "<![CDATA[") == 0) {
        size_t end = t.find("]]>", i + 9);
        if (end == std::string::npos) return;
        i = end + 3;
      } else if (t.compare(i, 2, "<!") == 0) {
        throw ModelError{
            "DOCTYPE and other markup declarations are not accepted: the model may not define "
            "entities or refer to outside documents (line " +
            std::to_string(LineAt(i)) + ")"};
      } else if (t[i] == '&') {
        size_t end = t.find(';', i);
        std::string_view ref = end == std::string::npos || end - i > 16
                                   ? std::string_view(t).substr(i, std::min<size_t>(12, t.size() - i))
                                   : std::string_view(t).substr(i, end - i + 1);
        if (!IsPredefinedReference(ref)) {
          throw ModelError{
              "entity reference " + Quoted(ref) +
              " is not accepted: only &amp; &lt; &gt; &quot; &apos; and character references are (line " +
              std::to_string(LineAt(i)) + ")"};
        }
        if (ref[1] == '#' && !IsXmlChar(CharacterCode(ref))) {
          throw ModelError{"malformed XML: character reference " + Quoted(ref) +
                           " stands for no character an XML document may hold (line " +
                           std::to_string(LineAt(i)) + ")"};
        }
        i += ref.size();
      } else {
        ++i;
      }
    }
  }

  // The code of a well-formed character reference ("&#65;", "&#x41;");
  // past U+10FFFF it stops counting.
  static unsigned long CharacterCode(std::string_view ref) {
    std::string_view digits = ref.substr(2, ref.size() - 3);
    const bool hex = digits[0] == 'x';
    if (hex) digits.remove_prefix(1);
    unsigned long code = 0;
    for (char c : digits) {
      const unsigned long digit =
          c <= '9' ? static_cast<unsigned long>(c - '0') : static_cast<unsigned long>((c | 0x20) - 'a' + 10);
      code = code * (hex ? 16 : 10) + digit;
      if (code > 0x10FFFF) return 0x110000;
    }
    return code;
  }

  static std::string Hex(unsigned char c) {
    const char* digits = "0123456789ABCDEF";
    return std::string("0x") + digits[c >> 4] + digits[c & 0xF];
  }

  static bool IsPredefinedReference(std::string_view ref) {
    if (ref == "&amp;" || ref == "&lt;" || ref == "&gt;" || ref == "&quot;" || ref == "&apos;") return true;
    if (ref.size() < 4 || ref[1] != '#' || ref.back() != ';') return false;
    std::string_view digits = ref.substr(2, ref.size() - 3);
    bool hex = !digits.empty() && (digits[0] == 'x');
    if (hex) digits.remove_prefix(1);
    if (digits.empty()) return false;
    return std::all_of(digits.begin(), digits.end(), [hex](char c) {
      return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    });
  }

  // --- Dictionaries -------------------------------------------------------

  Kind DataTypeKind(pugi::xml_node node) const {
    pugi::xml_attribute attribute = node.attribute("dataType");
    if (!attribute) Fail(node, "<" + std::string(node.name()) + "> has no dataType");
    std::string_view type = attribute.value();
    if (type == "string") return Kind::Text;
    if (IsNumericType(type)) return Kind::Number;
    Fail(node,
         "dataType " + Quoted(type) + " is not supported (string, integer, float, double, boolean are)");
  }

  static bool IsBooleanType(pugi::xml_node node) {
    return std::string_view(node.attribute("dataType").value()) == "boolean";
  }
  static bool IsIntegerType(pugi::xml_node node) {
    return std::string_view(node.attribute("dataType").value()) == "integer";
  }

  void CheckOptype(pugi::xml_node node) const {
    pugi::xml_attribute attribute = node.attribute("optype");
    if (!attribute) return;
    std::string_view optype = attribute.value();
    if (optype != "categorical" && optype != "ordinal" && optype != "continuous") {
      Fail(node, "optype " + Quoted(optype) + " is not one of categorical, ordinal, continuous");
    }
  }

  std::string RequiredName(pugi::xml_node node, const char* attribute) const {
    pugi::xml_attribute a = node.attribute(attribute);
    if (!a || std::string_view(a.value()).empty()) {
      Fail(node, "<" + std::string(node.name()) + "> needs a non-empty " + attribute + " attribute");
    }
    return a.value();
  }

  void ReadDataDictionary(pugi::xml_node dictionary) {
    for (pugi::xml_node child : dictionary.children()) {
      if (child.type() != pugi::node_element) continue;
      std::string_view name = child.name();
      if (name == "Extension") continue;
      if (name != "DataField") Unexpected(child);
      Field field;
      field.fName = RequiredName(child, "name");
      if (fFields.count(field.fName)) Fail(child, "field " + Quoted(field.fName) + " is declared twice");
      field.fKind = DataTypeKind(child);
      field.fbBoolean = IsBooleanType(child);
      CheckOptype(child);
      for (pugi::xml_node value : child.children()) {
        if (value.type() != pugi::node_element) continue;
        std::string_view valueName = value.name();
        // Valid values and intervals describe the data; they are not enforced.
        if (valueName == "Extension" || valueName == "Interval") continue;
        if (valueName != "Value") Unexpected(value);
        std::string_view property = value.attribute("property").as_string("valid");
        if (property == "valid") continue;
        if (property != "missing") {
          Fail(value, "Value property " + Quoted(property) + " is not supported (valid and missing are)");
        }
        if (!value.attribute("value")) Fail(value, "<Value> has no value attribute");
        std::string text = value.attribute("value").value();
        if (field.fKind == Kind::Text) {
          field.fvMissingTexts.push_back(text);
        } else {
          double number;
          if (field.fbBoolean ? !ParseBoolean(text, number) : !ParseNumber(text, number)) {
            Fail(value, "missing value " + Quoted(text) + " of " + (field.fbBoolean ? "boolean" : "numeric") +
                            " field " + Quoted(field.fName) + " is not a " +
                            (field.fbBoolean ? "boolean" : "number"));
          }
          field.fvMissingNumbers.push_back(number);
        }
      }
      fFields[field.fName] =
          FieldRefInfo{true, static_cast<int>(fpModel->fvInputs.size()), field.fKind, field.fbBoolean};
      fpModel->fvInputs.push_back(std::move(field));
    }
    if (fpModel->fvInputs.empty()) Fail(dictionary, "the DataDictionary declares no DataField");
  }

  // Every derived field is declared before any expression is read, so that
  // an expression may refer to a field defined further down; the fields are
  // then put in an order that computes each after those it refers to.
  void ReadTransformationDictionary(pugi::xml_node dictionary) {
    std::vector<pugi::xml_node> derived;
    for (pugi::xml_node child : dictionary.children()) {
      if (child.type() != pugi::node_element) continue;
      std::string_view name = child.name();
      if (name == "Extension") continue;
      if (name == "DefineFunction")
        Fail(child, "user-defined functions (<DefineFunction>) are not supported");
      if (name != "DerivedField") Unexpected(child);
      Field field;
      field.fName = RequiredName(child, "name");
      if (fFields.count(field.fName)) Fail(child, "field " + Quoted(field.fName) + " is declared twice");
      field.fKind = DataTypeKind(child);
      field.fbBoolean = IsBooleanType(child);
      field.fbInteger = IsIntegerType(child);
      CheckOptype(child);
      fFields[field.fName] =
          FieldRefInfo{false, static_cast<int>(fpModel->fvOutputs.size()), field.fKind, field.fbBoolean};
      fpModel->fvOutputs.push_back(std::move(field));
      derived.push_back(child);
    }
    if (derived.empty()) Fail(dictionary, "the TransformationDictionary defines no DerivedField");
    fpModel->fvOutputRoots.assign(derived.size(), -1);
    fvDependencies.assign(derived.size(), {});
    for (size_t j = 0; j < derived.size(); ++j) ReadDerivedField(derived[j], static_cast<int>(j));
    OrderDerivedFields(derived);
  }

  void ReadDerivedField(pugi::xml_node node, int index) {
    const Field& field = fpModel->fvOutputs[static_cast<size_t>(index)];
    pugi::xml_node expression;
    for (pugi::xml_node child : node.children()) {
      if (child.type() != pugi::node_element) continue;
      std::string_view name = child.name();
      if (name == "Extension" || name == "Value") continue;
      if (expression) Fail(child, "derived field " + Quoted(field.fName) + " has more than one expression");
      expression = child;
    }
    if (!expression) Fail(node, "derived field " + Quoted(field.fName) + " has no expression");
    fCurrentDerived = index;
    int root = Compile(expression, 1, node);
    fCurrentDerived = -1;
    if (!Coerce(root, field.fKind, field.fbBoolean)) {
      Fail(expression, std::string("derived field ") + Quoted(field.fName) + " is declared " +
                           (field.fKind == Kind::Text ? "a string" : "numeric") +
                           " but its expression yields " + (field.fKind == Kind::Text ? "a number" : "text"));
    }
    fpModel->fvOutputRoots[static_cast<size_t>(index)] = root;
  }

  // Orders the derived fields so that each comes after the fields it refers
  // to (document order where nothing else matters); a field that depends on
  // itself, directly or through others, is refused. The walk keeps its own
  // stack: a long chain of fields must not exhaust the call stack.
  void OrderDerivedFields(const std::vector<pugi::xml_node>& derived) {
    enum class State : uint8_t { Unseen, Open, Done };
    const size_t n = derived.size();
    std::vector<State> state(n, State::Unseen);
    std::vector<std::pair<int, size_t>> stack;  // field, next dependency to visit
    for (size_t start = 0; start < n; ++start) {
      if (state[start] != State::Unseen) continue;
      stack.emplace_back(static_cast<int>(start), 0);
      state[start] = State::Open;
      while (!stack.empty()) {
        auto& [field, next] = stack.back();
        const std::vector<int>& dependencies = fvDependencies[static_cast<size_t>(field)];
        if (next == dependencies.size()) {
          state[static_cast<size_t>(field)] = State::Done;
          fpModel->fvOutputOrder.push_back(field);
          stack.pop_back();
          continue;
        }
        const int dependency = dependencies[next++];
        if (state[static_cast<size_t>(dependency)] == State::Done) continue;
        if (state[static_cast<size_t>(dependency)] == State::Open) {
          // The cycle is the part of the stack from the dependency on.
          std::string cycle;
          bool inCycle = false;
          for (const auto& entry : stack) {
            inCycle = inCycle || entry.first == dependency;
            if (inCycle) cycle += Quoted(fpModel->fvOutputs[static_cast<size_t>(entry.first)].fName) + " -> ";
          }
          cycle += Quoted(fpModel->fvOutputs[static_cast<size_t>(dependency)].fName);
          Fail(derived[static_cast<size_t>(dependency)],
               field == dependency
                   ? "derived field " + Quoted(fpModel->fvOutputs[static_cast<size_t>(field)].fName) +
                         " refers to itself"
                   : "derived fields refer to each other in a cycle: " + cycle);
        }
        state[static_cast<size_t>(dependency)] = State::Open;
        stack.emplace_back(dependency, 0);
      }
    }
  }

  // --- Expressions ----------------------------------------------------------

  int AddNode(const Node& node) {
    fpModel->fvNodes.push_back(node);
    return static_cast<int>(fpModel->fvNodes.size()) - 1;
  }

  Node& NodeAt(int index) { return fpModel->fvNodes[static_cast<size_t>(index)]; }

  void SetArgs(Node& node, const std::vector<int>& args) {
    node.fFirstArg = static_cast<int>(fpModel->fvArgs.size());
    node.fNArgs = static_cast<int>(args.size());
    fpModel->fvArgs.insert(fpModel->fvArgs.end(), args.begin(), args.end());
  }

  // A value written in an attribute or a table cell, as a cell of `kind`;
  // a `boolean` reads true and false as well as 1 and 0.
  Cell ValueCell(pugi::xml_node where, std::string_view text, Kind kind, const std::string& what,
                 bool boolean = false) {
    if (kind == Kind::Text) return Cell::Text(fpModel->AddText(std::string(text)));
    double number;
    if (boolean) {
      if (!ParseBoolean(text, number))
        Fail(where, what + " " + Quoted(text) + " is not a boolean (true, false, 1, 0)");
    } else if (!ParseNumber(text, number)) {
      Fail(where, what + " " + Quoted(text) + " is not a number");
    }
    return Cell::Number(number);
  }

  // Reads the optional attribute `name` as a replacement value for `of`, of
  // its kind; for a boolean true and false as well as any number.
  bool OptionalValue(pugi::xml_node node, const char* name, const Node& of, Cell& cell) {
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) return false;
    double number;
    if (of.fKind == Kind::Number && of.fbBoolean && ParseBoolean(attribute.value(), number)) {
      cell = Cell::Number(number);
    } else {
      cell = ValueCell(node, attribute.value(), of.fKind, name);
    }
    return true;
  }

  // Makes a constant written without a dataType take `kind`, where its text
  // allows (true and false too where a `boolean` is expected). True when the
  // node has `kind` afterwards.
  bool Coerce(int index, Kind kind, bool boolean = false) {
    Node& node = NodeAt(index);
    if (node.fKind == kind) return true;
    auto untyped = fUntypedConstants.find(index);
    if (untyped == fUntypedConstants.end()) return false;
    if (!node.fValue.IsMissing()) {
      if (kind == Kind::Text) {
        node.fValue = Cell::Text(fpModel->AddText(untyped->second));
      } else {
        double number = 0.0;
        if (!ParseNumber(untyped->second, number) && !(boolean && ParseBoolean(untyped->second, number)))
          return false;
        node.fValue = Cell::Number(number);
      }
    }
    node.fKind = kind;
    node.fbBoolean = boolean;
    return true;
  }

  // A reference to a field by name, as a node.
  int FieldNode(pugi::xml_node where, const std::string& name) {
    auto it = fFields.find(name);
    if (it == fFields.end()) Fail(where, "reference to unknown field " + Quoted(name));
    Node node;
    node.fOp = it->second.fbInput ? Op::InputRef : Op::DerivedRef;
    node.fKind = it->second.fKind;
    node.fbBoolean = it->second.fbBoolean;
    node.fIndex = it->second.fIndex;
    if (!it->second.fbInput && fCurrentDerived >= 0) {
      fvDependencies[static_cast<size_t>(fCurrentDerived)].push_back(it->second.fIndex);
    }
    return AddNode(node);
  }

  std::vector<pugi::xml_node> ElementChildren(pugi::xml_node node) const {
    std::vector<pugi::xml_node> children;
    for (pugi::xml_node child : node.children()) {
      if (child.type() == pugi::node_element && std::string_view(child.name()) != "Extension")
        children.push_back(child);
    }
    return children;
  }

  void NoChildren(pugi::xml_node node) const {
    std::vector<pugi::xml_node> children = ElementChildren(node);
    if (!children.empty()) Unexpected(children.front());
  }

  // Compiles an expression. `typedBy` is the derived field whose whole
  // expression this is: its dataType types a Discretize or MapValues result.
  int Compile(pugi::xml_node node, int depth, pugi::xml_node typedBy = {}) {
    if (depth > MAX_EXPRESSION_DEPTH) {
      Fail(node, "expressions nest deeper than " + std::to_string(MAX_EXPRESSION_DEPTH) + " levels");
    }
    std::string_view name = node.name();
    if (name == "Constant") return CompileConstant(node);
    if (name == "FieldRef") return CompileFieldRef(node);
    if (name == "Apply") return CompileApply(node, depth);
    if (name == "NormContinuous") return CompileNormContinuous(node);
    if (name == "NormDiscrete") return CompileNormDiscrete(node);
    if (name == "Discretize") return CompileDiscretize(node, typedBy);
    if (name == "MapValues") return CompileMapValues(node, typedBy);
    if (OTHER_EXPRESSIONS.count(name)) Fail(node, "expression <" + std::string(name) + "> is not supported");
    Unexpected(node);
  }

  int CompileConstant(pugi::xml_node node) {
    NoChildren(node);
    std::string text = node.text().get();
    std::string_view missingFlag = node.attribute("missing").as_string("false");
    if (missingFlag != "true" && missingFlag != "false") {
      Fail(node, "missing must be true or false, not " + Quoted(missingFlag));
    }
    const bool missing = missingFlag == "true";
    Node constant;
    constant.fOp = Op::Constant;
    if (pugi::xml_attribute type = node.attribute("dataType")) {
      constant.fKind = DataTypeKind(node);
      constant.fbBoolean = IsBooleanType(node);
      constant.fValue =
          missing ? Cell::Missing() : ValueCell(node, text, constant.fKind, "constant", constant.fbBoolean);
      return AddNode(constant);
    }
    double number;
    if (missing) {
      constant.fKind = Kind::Number;
      constant.fValue = Cell::Missing();
    } else if (ParseNumber(text, number)) {
      constant.fKind = Kind::Number;
      constant.fValue = Cell::Number(number);
    } else {
      constant.fKind = Kind::Text;
      constant.fValue = Cell::Text(fpModel->AddText(text));
    }
    int index = AddNode(constant);
    fUntypedConstants[index] = text;
    return index;
  }

  int CompileFieldRef(pugi::xml_node node) {
    NoChildren(node);
    int index = FieldNode(node, RequiredName(node, "field"));
    Cell replacement;
    if (OptionalValue(node, "mapMissingTo", NodeAt(index), replacement)) {
      NodeAt(index).fbHasMapMissing = true;
      NodeAt(index).fMapMissing = replacement;
    }
    return index;
  }

  int CompileApply(pugi::xml_node node, int depth) {
    std::string function = RequiredName(node, "function");
    auto info = FUNCTIONS.find(function);
    if (info == FUNCTIONS.end()) Fail(node, "unknown function " + Quoted(function));
    const Op op = info->second.fOp;
    std::vector<pugi::xml_node> children = ElementChildren(node);
    const int count = static_cast<int>(children.size());
    const int minArgs = info->second.fMinArgs, maxArgs = info->second.fMaxArgs;
    if (count < minArgs || (maxArgs >= 0 && count > maxArgs)) {
      std::string expected = maxArgs < 0 ? "at least " + std::to_string(minArgs)
                             : minArgs == maxArgs
                                 ? std::to_string(minArgs)
                                 : std::to_string(minArgs) + " or " + std::to_string(maxArgs);
      Fail(node, "function " + Quoted(function) + " takes " + expected + " argument" +
                     (expected == "1" ? "" : "s") + ", not " + std::to_string(count));
    }

    Node apply;
    apply.fOp = op;
    apply.fKind = Kind::Number;
    std::vector<int> args;
    const bool membership = op == Op::IsIn || op == Op::IsNotIn;
    for (int i = 0; i < count; ++i) {
      if (membership && i == 1) break;  // the Array is read below
      args.push_back(Compile(children[static_cast<size_t>(i)], depth + 1));
    }

    // A number (`boolean`: true and false allowed for an untyped constant).
    auto requireNumber = [&](int i, bool boolean = false) {
      if (!Coerce(args[static_cast<size_t>(i)], Kind::Number, boolean)) {
        Fail(children[static_cast<size_t>(i)], "argument " + std::to_string(i + 1) + " of function " +
                                                   Quoted(function) + " must be a number, but it is text");
      }
    };
    auto unify = [&](int i, int j) {
      int a = args[static_cast<size_t>(i)], b = args[static_cast<size_t>(j)];
      if (NodeAt(a).fKind == NodeAt(b).fKind) return NodeAt(a).fKind;
      if (Coerce(b, NodeAt(a).fKind, NodeAt(a).fbBoolean) ||
          Coerce(a, NodeAt(b).fKind, NodeAt(b).fbBoolean)) {
        return NodeAt(a).fKind;
      }
      Fail(node, "arguments " + std::to_string(i + 1) + " and " + std::to_string(j + 1) + " of function " +
                     Quoted(function) + " mix text and numbers");
    };

    switch (op) {
      case Op::IsMissing:
      case Op::IsNotMissing:
        apply.fbBoolean = true;
        break;
      case Op::Equal:
      case Op::NotEqual:
      case Op::Less:
      case Op::LessOrEqual:
      case Op::Greater:
      case Op::GreaterOrEqual:
        apply.fOperandKind = unify(0, 1);
        apply.fbBoolean = true;
        break;
      case Op::IsIn:
      case Op::IsNotIn:
        apply.fOperandKind = NodeAt(args[0]).fKind;
        apply.fIndex = ReadArray(children[1], apply.fOperandKind, function);
        apply.fbBoolean = true;
        break;
      case Op::And:
      case Op::Or:
      case Op::Not:
        for (int i = 0; i < count; ++i) requireNumber(i, true);
        apply.fbBoolean = true;
        break;
      case Op::If:
        requireNumber(0, true);
        if (count == 3) unify(1, 2);
        apply.fKind = NodeAt(args[1]).fKind;
        apply.fbBoolean = NodeAt(args[1]).fbBoolean && (count == 2 || NodeAt(args[2]).fbBoolean);
        break;
      default:
        for (int i = 0; i < count; ++i) requireNumber(i);
        break;
    }

    // PMML's default: an invalid result fails the case.
    std::string_view treatment = node.attribute("invalidValueTreatment").as_string("returnInvalid");
    if (treatment == "returnInvalid") {
      apply.fbReturnInvalid = true;
    } else if (treatment == "asIs") {
      apply.fbAsIs = true;
    } else if (treatment != "asMissing") {
      Fail(node,
           "invalidValueTreatment " + Quoted(treatment) + " is not one of returnInvalid, asIs, asMissing");
    }
    apply.fbHasMapMissing = OptionalValue(node, "mapMissingTo", apply, apply.fMapMissing);
    apply.fbHasDefault = OptionalValue(node, "defaultValue", apply, apply.fDefault);
    apply.fbDefaultOnMissingInput = apply.fbHasDefault;
    SetArgs(apply, args);
    return AddNode(apply);
  }

  // Reads the <Array> of isIn / isNotIn into a set of `kind` values.
  int ReadArray(pugi::xml_node array, Kind kind, const std::string& function) {
    if (std::string_view(array.name()) != "Array") {
      Fail(array, "the second argument of function " + Quoted(function) + " must be an <Array>");
    }
    NoChildren(array);
    std::string_view type = array.attribute("type").as_string("string");
    if (type != "int" && type != "real" && type != "string") {
      Fail(array, "Array type " + Quoted(type) + " is not one of int, real, string");
    }
    // Tokens are separated by white space; a token in double quotes may hold
    // blanks, and \" stands for a quote inside it.
    std::vector<std::string> tokens;
    std::string_view text = array.text().get();
    size_t i = 0;
    while (i < text.size()) {
      if (std::string_view(" \t\r\n").find(text[i]) != std::string_view::npos) {
        ++i;
        continue;
      }
      std::string token;
      if (text[i] == '"') {
        ++i;
        bool closed = false;
        while (i < text.size()) {
          if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"') {
            token += '"';
            i += 2;
          } else if (text[i] == '"') {
            ++i;
            closed = true;
            break;
          } else {
            token += text[i++];
          }
        }
        if (!closed) Fail(array, "unterminated quoted value in <Array>");
      } else {
        while (i < text.size() && std::string_view(" \t\r\n").find(text[i]) == std::string_view::npos)
          token += text[i++];
      }
      tokens.push_back(std::move(token));
    }
    if (pugi::xml_attribute n = array.attribute("n")) {
      if (n.as_int(-1) != static_cast<int>(tokens.size())) {
        Fail(array, "the <Array> declares n=" + std::string(n.value()) + " but holds " +
                        std::to_string(tokens.size()) + " values");
      }
    }
    SetTable set;
    for (const std::string& token : tokens) {
      Cell cell = ValueCell(array, token, kind, "array value");
      if (kind == Kind::Text) {
        set.fvTexts.push_back(cell.fpText);
      } else {
        set.fvNumbers.push_back(cell.fNumber);
      }
    }
    std::sort(set.fvNumbers.begin(), set.fvNumbers.end());
    std::sort(set.fvTexts.begin(), set.fvTexts.end(),
              [](const std::string* a, const std::string* b) { return *a < *b; });
    fpModel->fvSets.push_back(std::move(set));
    return static_cast<int>(fpModel->fvSets.size()) - 1;
  }

  // The numeric field named by the `field` attribute of a normalisation or
  // discretisation.
  int NumericFieldArg(pugi::xml_node node) {
    std::string name = RequiredName(node, "field");
    int arg = FieldNode(node, name);
    if (NodeAt(arg).fKind != Kind::Number) {
      Fail(node,
           "<" + std::string(node.name()) + "> needs a numeric field, but " + Quoted(name) + " is a string");
    }
    return arg;
  }

  int CompileNormContinuous(pugi::xml_node node) {
    Node norm;
    norm.fOp = Op::NormContinuous;
    norm.fKind = Kind::Number;
    std::vector<int> args = {NumericFieldArg(node)};
    NormTable table;
    std::string_view outliers = node.attribute("outliers").as_string("asIs");
    if (outliers == "asIs") {
      table.fOutliers = Outliers::AsIs;
    } else if (outliers == "asMissingValues") {
      table.fOutliers = Outliers::AsMissing;
    } else if (outliers == "asExtremeValues") {
      table.fOutliers = Outliers::AsExtreme;
    } else {
      Fail(node, "outliers " + Quoted(outliers) + " is not one of asIs, asMissingValues, asExtremeValues");
    }
    for (pugi::xml_node child : ElementChildren(node)) {
      if (std::string_view(child.name()) != "LinearNorm") Unexpected(child);
      NoChildren(child);
      double orig, normValue;
      if (!ParseNumber(child.attribute("orig").value(), orig) ||
          !ParseNumber(child.attribute("norm").value(), normValue)) {
        Fail(child, "<LinearNorm> needs numeric orig and norm attributes");
      }
      if (!table.fvOrig.empty() && orig <= table.fvOrig.back()) {
        Fail(child, "LinearNorm orig values must increase strictly");
      }
      table.fvOrig.push_back(orig);
      table.fvNorm.push_back(normValue);
    }
    if (table.fvOrig.size() < 2) Fail(node, "<NormContinuous> needs at least two <LinearNorm> points");
    norm.fbHasMapMissing = OptionalValue(node, "mapMissingTo", norm, norm.fMapMissing);
    fpModel->fvNorms.push_back(std::move(table));
    norm.fIndex = static_cast<int>(fpModel->fvNorms.size()) - 1;
    SetArgs(norm, args);
    return AddNode(norm);
  }

  int CompileNormDiscrete(pugi::xml_node node) {
    NoChildren(node);
    std::string name = RequiredName(node, "field");
    std::vector<int> args = {FieldNode(node, name)};
    Node norm;
    norm.fOp = Op::NormDiscrete;
    norm.fKind = Kind::Number;
    norm.fOperandKind = NodeAt(args[0]).fKind;
    if (!node.attribute("value")) Fail(node, "<NormDiscrete> has no value attribute");
    norm.fValue = ValueCell(node, node.attribute("value").value(), norm.fOperandKind, "value",
                            NodeAt(args[0]).fbBoolean);
    norm.fbHasMapMissing = OptionalValue(node, "mapMissingTo", norm, norm.fMapMissing);
    SetArgs(norm, args);
    return AddNode(norm);
  }

  // The result type of a Discretize or MapValues: its own dataType when
  // given, else that of the derived field `typedBy` whose whole expression
  // it is, else a number when every result text reads as one.
  ValueType ResultType(pugi::xml_node node, pugi::xml_node typedBy,
                       const std::vector<std::string>& results) const {
    if (node.attribute("dataType")) return {DataTypeKind(node), IsBooleanType(node)};
    if (typedBy) return {DataTypeKind(typedBy), IsBooleanType(typedBy)};
    double number;
    for (const std::string& text : results) {
      if (!ParseNumber(text, number)) return {Kind::Text, false};
    }
    return {Kind::Number, false};
  }

  int CompileDiscretize(pugi::xml_node node, pugi::xml_node typedBy) {
    Node discretize;
    discretize.fOp = Op::Discretize;
    std::vector<int> args = {NumericFieldArg(node)};
    struct RawBin {
      pugi::xml_node fNode;
      std::string fValue;
      Bin fBin;
    };
    std::vector<RawBin> raw;
    std::vector<std::string> results;
    for (pugi::xml_node child : ElementChildren(node)) {
      if (std::string_view(child.name()) != "DiscretizeBin") Unexpected(child);
      if (!child.attribute("binValue")) Fail(child, "<DiscretizeBin> has no binValue");
      std::vector<pugi::xml_node> inner = ElementChildren(child);
      if (inner.size() != 1 || std::string_view(inner[0].name()) != "Interval") {
        Fail(child, "<DiscretizeBin> needs exactly one <Interval>");
      }
      pugi::xml_node interval = inner[0];
      NoChildren(interval);
      std::string_view closure = interval.attribute("closure").value();
      Bin bin{-INFINITY, INFINITY, false, false, Cell::Missing()};
      if (closure == "openOpen" || closure == "openClosed" || closure == "closedOpen" ||
          closure == "closedClosed") {
        bin.fbLowClosed = closure.substr(0, 6) == "closed";
        bin.fbHighClosed = closure.substr(closure.size() - 6) == "Closed";
      } else {
        Fail(interval, "Interval closure " + Quoted(closure) +
                           " is not one of openOpen, openClosed, closedOpen, closedClosed");
      }
      if (pugi::xml_attribute left = interval.attribute("leftMargin")) {
        if (!ParseNumber(left.value(), bin.fLow))
          Fail(interval, "leftMargin " + Quoted(left.value()) + " is not a number");
      }
      if (pugi::xml_attribute right = interval.attribute("rightMargin")) {
        if (!ParseNumber(right.value(), bin.fHigh))
          Fail(interval, "rightMargin " + Quoted(right.value()) + " is not a number");
      }
      if (bin.fLow > bin.fHigh) Fail(interval, "the Interval's leftMargin lies above its rightMargin");
      raw.push_back({child, child.attribute("binValue").value(), bin});
      results.push_back(raw.back().fValue);
    }
    if (raw.empty()) Fail(node, "<Discretize> has no <DiscretizeBin>");
    for (const char* attribute : {"mapMissingTo", "defaultValue"}) {
      if (node.attribute(attribute)) results.push_back(node.attribute(attribute).value());
    }
    const ValueType type = ResultType(node, typedBy, results);
    discretize.fKind = type.fKind;
    discretize.fbBoolean = type.fbBoolean;
    DiscretizeTable table;
    for (RawBin& bin : raw) {
      bin.fBin.fValue = ValueCell(bin.fNode, bin.fValue, discretize.fKind, "binValue", discretize.fbBoolean);
      table.fvBins.push_back(bin.fBin);
    }
    discretize.fbHasMapMissing = OptionalValue(node, "mapMissingTo", discretize, discretize.fMapMissing);
    discretize.fbHasDefault = OptionalValue(node, "defaultValue", discretize, discretize.fDefault);
    fpModel->fvDiscretizes.push_back(std::move(table));
    discretize.fIndex = static_cast<int>(fpModel->fvDiscretizes.size()) - 1;
    SetArgs(discretize, args);
    return AddNode(discretize);
  }

  int CompileMapValues(pugi::xml_node node, pugi::xml_node typedBy) {
    Node map;
    map.fOp = Op::MapValues;
    std::string outputColumn = RequiredName(node, "outputColumn");
    std::vector<int> args;
    std::vector<std::string> columns;
    pugi::xml_node table;
    for (pugi::xml_node child : ElementChildren(node)) {
      std::string_view name = child.name();
      if (name == "FieldColumnPair") {
        NoChildren(child);
        args.push_back(FieldNode(child, RequiredName(child, "field")));
        columns.push_back(RequiredName(child, "column"));
      } else if (name == "InlineTable") {
        if (table) Fail(child, "<MapValues> has more than one table");
        table = child;
      } else if (name == "TableLocator") {
        Fail(child, "<TableLocator> is not supported: tables must be inline");
      } else {
        Unexpected(child);
      }
    }
    if (args.empty()) Fail(node, "<MapValues> has no <FieldColumnPair>");
    if (args.size() > static_cast<size_t>(MAX_MAP_COLUMNS)) {
      Fail(node, "<MapValues> matches on more than " + std::to_string(MAX_MAP_COLUMNS) + " fields");
    }
    if (!table) Fail(node, "<MapValues> has no <InlineTable>");

    // Cell texts of every row: keys in pair order, then the output.
    struct RawRow {
      pugi::xml_node fNode;
      std::vector<std::string> fKeys;
      std::string fOutput;
    };
    std::vector<RawRow> rows;
    std::vector<std::string> results;
    for (pugi::xml_node row : ElementChildren(table)) {
      if (std::string_view(row.name()) != "row") Unexpected(row);
      RawRow raw{row, {}, {}};
      auto cell = [&](const std::string& column) {
        pugi::xml_node found = row.child(column.c_str());
        if (!found) Fail(row, "a table row has no " + Quoted(column) + " cell");
        return std::string(found.text().get());
      };
      for (const std::string& column : columns) raw.fKeys.push_back(cell(column));
      raw.fOutput = cell(outputColumn);
      results.push_back(raw.fOutput);
      rows.push_back(std::move(raw));
    }
    for (const char* attribute : {"mapMissingTo", "defaultValue"}) {
      if (node.attribute(attribute)) results.push_back(node.attribute(attribute).value());
    }
    const ValueType type = ResultType(node, typedBy, results);
    map.fKind = type.fKind;
    map.fbBoolean = type.fbBoolean;

    MapTable lookup;
    lookup.fNColumns = static_cast<int>(args.size());
    for (const RawRow& row : rows) {
      for (size_t c = 0; c < columns.size(); ++c) {
        const Kind keyKind = NodeAt(args[c]).fKind;
        const bool keyBoolean = NodeAt(args[c]).fbBoolean;
        std::string_view key = keyKind == Kind::Number ? Trim(row.fKeys[c]) : std::string_view(row.fKeys[c]);
        lookup.fvKeys.push_back(
            ValueCell(row.fNode, key, keyKind,
                      "cell " + Quoted(columns[c]) + " of " + (keyBoolean ? "boolean" : "numeric") + " field",
                      keyBoolean));
      }
      lookup.fvOutputs.push_back(ValueCell(row.fNode, row.fOutput, map.fKind, "output cell", map.fbBoolean));
    }
    if (lookup.fNColumns == 1) {
      map.fOperandKind = NodeAt(args[0]).fKind;
      for (size_t r = 0; r < lookup.fvOutputs.size(); ++r) {
        const Cell& key = lookup.fvKeys[r];
        if (map.fOperandKind == Kind::Text) {
          lookup.fvTextIndex.emplace_back(key.fpText, static_cast<int>(r));
        } else {
          lookup.fvNumberIndex.emplace_back(key.fNumber, static_cast<int>(r));
        }
      }
      // Stable: the first row wins among equal keys.
      std::stable_sort(lookup.fvTextIndex.begin(), lookup.fvTextIndex.end(),
                       [](const auto& a, const auto& b) { return *a.first < *b.first; });
      std::stable_sort(lookup.fvNumberIndex.begin(), lookup.fvNumberIndex.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    map.fbHasMapMissing = OptionalValue(node, "mapMissingTo", map, map.fMapMissing);
    map.fbHasDefault = OptionalValue(node, "defaultValue", map, map.fDefault);
    fpModel->fvMaps.push_back(std::move(lookup));
    map.fIndex = static_cast<int>(fpModel->fvMaps.size()) - 1;
    SetArgs(map, args);
    return AddNode(map);
  }

  const std::string& fText;
  pugi::xml_document fDocument;
  std::unique_ptr<Model> fpModel;
  std::map<std::string, FieldRefInfo> fFields;
  std::vector<std::vector<int>> fvDependencies;  // per derived field: the derived fields it refers to
  int fCurrentDerived = -1;                      // the derived field being compiled
  std::map<int, std::string> fUntypedConstants;  // constants written without dataType: their text
};

}  // namespace

std::unique_ptr<Model> ReadModel(const std::string& text, std::string& error) {
  error.clear();
  try {
    return Reader(text).Read();
  } catch (const ModelError& e) {
    error = e.fMessage;
  } catch (const std::exception& e) {
    error = std::string("the model could not be read: ") + e.what();
  }
  return nullptr;
}

}  // namespace QorTransform
