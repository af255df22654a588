#include "CategoryCodes.h"

#include <vorm/Utility.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "InputFile.h"
#include "KvoError.h"

namespace kvo {
namespace {

using Json = nlohmann::json;
using Converter = std::unique_ptr<void, void (*)(void*)>;

Converter NewConverter() { return Converter(VORMMBConverterNew_A(nullptr), VORMMBConverterDelete_A); }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Builds one variable's keys and refuses a value that cannot be a key of
// the variable, or repeats.
class KeyBuilder {
 public:
  KeyBuilder(const VORM_Variable& variable, int slot, void* converter)
      : fWidth(variable.GetType()), fpConverter(converter) {
    fKeys.fSlot = slot;
    fKeys.fCells = static_cast<size_t>(VORM_CellCount(fWidth));
  }

  bool IsString() const { return fWidth > 0; }

  // Appends a number; false when it repeats.
  bool AddNumber(double value) {
    OBS cell{};
    cell.num = value == 0.0 ? 0.0 : value;  // -0 and 0 are one value
    return Append(&cell);
  }

  // Appends a text given in UTF-8. Sets `fits` false (and appends nothing)
  // when it is wider than the variable or has no form in the host's
  // encoding; returns false when it repeats.
  bool AddText(const std::string& utf8, bool& fits) {
    std::string text;
    fits = fpConverter != nullptr && VORMMBU8ToGeneric(fpConverter, text, utf8) == 0;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    fits = fits && text.size() <= static_cast<size_t>(fWidth);
    if (!fits) return true;
    std::vector<OBS> cells(fKeys.fCells);
    char* bytes = cells.data()->str;
    std::memset(bytes, ' ', fKeys.fCells * sizeof(OBS));
    std::memcpy(bytes, text.data(), text.size());
    return Append(cells.data());
  }

  SeedKeys Take() { return std::move(fKeys); }

 private:
  bool Append(const OBS* key) {
    const std::string bytes(reinterpret_cast<const char*>(key), fKeys.fCells * sizeof(OBS));
    if (!fSeen.insert(bytes).second) return false;
    fKeys.fvCells.insert(fKeys.fvCells.end(), key, key + fKeys.fCells);
    return true;
  }

  short fWidth;
  void* fpConverter;
  SeedKeys fKeys;
  std::set<std::string> fSeen;
};

// Reads the codes of an earlier run's summary, checking it as it goes.
class SummaryReader {
 public:
  SummaryReader(std::string path, const RecordLayout& layout, const standin::MemoryDataSource& data)
      : fPath(std::move(path)), fLayout(layout), fData(data), fConverter(NewConverter()) {}

  Json Load() const {
    RequireRegularFile(fPath, "summary given to --codes-from");
    std::ifstream in(fPath, std::ios::binary);
    if (!in)
      throw InputError(fPath + ": cannot open the summary: " + std::strerror(errno != 0 ? errno : EIO));
    std::ostringstream text;
    text << in.rdbuf();
    Json root = Json::parse(text.str(), nullptr, false);
    if (root.is_discarded()) {
      throw InputError(fPath +
                       ": --codes-from: not JSON; give the summary.json of an earlier kvo prepare run");
    }
    if (!root.is_object() || !root.contains("splits") || !root["splits"].is_array() ||
        root["splits"].empty()) {
      Fail("not a kvo prepare summary (it has no list of split groups)");
    }
    return root;
  }

  // The split values of a saved group, after checking that the group was
  // split by this run's split variables.
  std::vector<std::string> GroupValues(const Json& group, size_t number) const {
    const std::string where = "split group " + std::to_string(number) + ": ";
    if (!group.is_object()) Fail(where + "not an object");
    const Json* values = Member(group, "values", where);
    if (!values->is_array()) Fail(where + "\"values\" is not a list");
    const std::vector<int>& splitVars = fLayout.SplitVariables();
    std::vector<std::string> names, texts;
    for (const Json& value : *values) {
      const Json* name = value.is_object() ? Member(value, "name", where) : nullptr;
      const Json* text = value.is_object() ? Member(value, "value", where) : nullptr;
      if (name == nullptr || !name->is_string() || !text->is_string()) {
        Fail(where + "each split value needs a \"name\" and a \"value\" text");
      }
      names.push_back(name->get<std::string>());
      texts.push_back(text->get<std::string>());
    }
    std::vector<std::string> expected;
    for (int index : splitVars) expected.push_back(fData.GetVariable(index)->GetName());
    bool same = names.size() == expected.size();
    for (size_t i = 0; same && i < names.size(); ++i) same = Lower(names[i]) == Lower(expected[i]);
    if (!same) {
      Fail("the earlier run was " + SplitText(names) + ", this run is " + SplitText(expected) +
           "; the codes are kept per split group, so give the same --split-by");
    }
    return texts;
  }

  // The seeds of every categorical record variable of a saved group.
  std::vector<SeedKeys> GroupSeeds(const Json& group, size_t number, const std::string& groupName) const {
    const std::string where = "split group " + std::to_string(number) + ": ";
    const Json* variables = Member(group, "variables", where);
    if (!variables->is_array()) Fail(where + "\"variables\" is not a list");
    std::vector<SeedKeys> seeds;
    for (const SlotInfo& slot : fLayout.Slots()) {
      if (slot.fKind != SlotKind::Categorical) continue;
      const Json* saved = nullptr;
      for (const Json& variable : *variables) {
        if (variable.is_object() && variable.contains("name") && variable["name"].is_string() &&
            Lower(variable["name"].get<std::string>()) == Lower(slot.fName)) {
          saved = &variable;
        }
      }
      if (saved == nullptr || !saved->contains("categories")) {
        Fail("the earlier run has no categorical variable " + slot.fName + groupName +
             " (its codes cannot be applied)");
      }
      seeds.push_back(VariableSeeds(*saved, slot, where + slot.fName + ": "));
    }
    return seeds;
  }

 private:
  SeedKeys VariableSeeds(const Json& variable, const SlotInfo& slot, const std::string& where) const {
    const Json& categories = variable["categories"];
    if (!categories.is_array()) Fail(where + "\"categories\" is not a list");
    const VORM_Variable& host = *fData.GetVariable(slot.fHostIndex);
    KeyBuilder builder(host, slot.fSlot, fConverter.get());
    int code = 0;
    for (const Json& category : categories) {
      const std::string at = where + "category " + std::to_string(code) + ": ";
      if (!category.is_object() || !category.contains("code") || !category["code"].is_number_integer() ||
          category["code"].get<int64_t>() != code) {
        Fail(at + "the codes must run 0, 1, 2, ... in order");
      }
      const Json* key = Member(category, "key", at);
      bool added = true;
      if (builder.IsString()) {
        if (!key->is_string()) Fail(at + "the key is not a text, but " + slot.fName + " is a string here");
        bool fits = true;
        added = builder.AddText(key->get<std::string>(), fits);
        if (!fits) {
          Fail(at + "the value \"" + key->get<std::string>() + "\" does not fit " + slot.fName +
               " here (its width is " + std::to_string(host.GetType()) +
               "); give the field a larger maxLength in the schema");
        }
      } else {
        if (!key->is_number()) Fail(at + "the key is not a number, but " + slot.fName + " is numeric here");
        added = builder.AddNumber(key->get<double>());
      }
      if (!added) Fail(at + "the value " + key->dump() + " has an earlier code too");
      ++code;
    }
    return builder.Take();
  }

  const Json* Member(const Json& object, const char* name, const std::string& where) const {
    auto found = object.find(name);
    if (found == object.end()) Fail(where + "\"" + name + "\" is missing");
    return &*found;
  }

  static std::string SplitText(const std::vector<std::string>& names) {
    if (names.empty()) return "not split";
    std::string text = "split by ";
    for (size_t i = 0; i < names.size(); ++i) text += (i > 0 ? ", " : "") + names[i];
    return text;
  }

  [[noreturn]] void Fail(const std::string& why) const { throw InputError(fPath + ": --codes-from: " + why); }

  std::string fPath;
  const RecordLayout& fLayout;
  const standin::MemoryDataSource& fData;
  Converter fConverter;
};

std::string GroupName(const std::vector<std::string>& values, const RecordLayout& layout,
                      const standin::MemoryDataSource& data) {
  if (values.empty()) return std::string();
  std::string text;
  for (size_t i = 0; i < values.size() && i < layout.SplitVariables().size(); ++i) {
    text += std::string(i > 0 ? ", " : "") + data.GetVariable(layout.SplitVariables()[i])->GetName() + " = " +
            values[i];
  }
  return " in the split group " + text;
}

}  // namespace

std::unique_ptr<CategorySeeds> CategorySeeds::FromSummary(const std::string& path, const RecordLayout& layout,
                                                          const standin::MemoryDataSource& data) {
  SummaryReader reader(path, layout, data);
  const Json root = reader.Load();
  std::unique_ptr<CategorySeeds> seeds(new CategorySeeds(true, path));
  size_t number = 0;
  for (const Json& group : root["splits"]) {
    ++number;
    std::vector<std::string> values = reader.GroupValues(group, number);
    std::vector<SeedKeys> keys = reader.GroupSeeds(group, number, GroupName(values, layout, data));
    seeds->fGroups.emplace(std::move(values), std::move(keys));
  }
  return seeds;
}

std::unique_ptr<CategorySeeds> CategorySeeds::FromSchema(const RecordLayout& layout,
                                                         standin::MemoryDataSource& data) {
  std::unique_ptr<CategorySeeds> seeds(new CategorySeeds(false, "the schema"));
  seeds->fbEveryGroup = true;
  Converter converter = NewConverter();
  std::vector<SeedKeys> keys;
  for (const SlotInfo& slot : layout.Slots()) {
    if (slot.fKind != SlotKind::Categorical) continue;
    const standin::VariableSpec spec = data.Spec(slot.fHostIndex);
    KeyBuilder builder(*data.GetVariable(slot.fHostIndex), slot.fSlot, converter.get());
    bool fits = true;
    // The schema reader refuses repeated values, so every value is added.
    for (const auto& [value, label] : spec.fNumericLabels) builder.AddNumber(value);
    for (const auto& [value, label] : spec.fStringLabels) builder.AddText(value, fits);
    keys.push_back(builder.Take());
  }
  seeds->fGroups.emplace(std::vector<std::string>(), std::move(keys));
  return seeds;
}

const std::vector<SeedKeys>* CategorySeeds::ForGroup(const std::vector<std::string>& splitValues) const {
  if (fbEveryGroup) return fGroups.empty() ? nullptr : &fGroups.begin()->second;
  auto found = fGroups.find(splitValues);
  return found != fGroups.end() ? &found->second : nullptr;
}

std::string StringKeyText(const OBS* key, int width) {
  std::string bytes(reinterpret_cast<const char*>(key), static_cast<size_t>(width));
  while (!bytes.empty() && bytes.back() == ' ') bytes.pop_back();
  Converter converter = NewConverter();
  std::string text;
  if (converter == nullptr || VORMMBGenericToU8(converter.get(), text, bytes) != 0) return bytes;
  return text;
}

}  // namespace kvo
