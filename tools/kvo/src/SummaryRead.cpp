#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "InputFile.h"
#include "KvoError.h"
#include "Summary.h"

namespace kvo {
namespace {

using json = nlohmann::ordered_json;

// Reads the summary's fields, each checked for presence and type; a problem
// is an input error naming the file and the field, as "splits[1].cases".
class Reader {
 public:
  explicit Reader(std::string path) : fPath(std::move(path)) {}

  [[noreturn]] void Fail(const std::string& where, const std::string& why) const {
    throw InputError(fPath + ": not a kvo prepare summary: " + where + " " + why);
  }

  const json& Member(const json& object, const char* name, const std::string& where) const {
    auto found = object.find(name);
    if (found == object.end()) Fail(Join(where, name), "is missing");
    return *found;
  }
  // Absent and null both give null.
  const json* Optional(const json& object, const char* name) const {
    auto found = object.find(name);
    return found == object.end() || found->is_null() ? nullptr : &*found;
  }

  const json& Object(const json& value, const std::string& where) const {
    if (!value.is_object()) Fail(where, "is not an object");
    return value;
  }
  const json& Array(const json& value, const std::string& where) const {
    if (!value.is_array()) Fail(where, "is not a list");
    return value;
  }
  std::string Text(const json& value, const std::string& where) const {
    if (!value.is_string()) Fail(where, "is not a text");
    return value.get<std::string>();
  }
  double Number(const json& value, const std::string& where) const {
    if (!value.is_number() || !std::isfinite(value.get<double>())) Fail(where, "is not a number");
    return value.get<double>();
  }
  int64_t Integer(const json& value, const std::string& where) const {
    if (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max())) {
      Fail(where, "is too large");
    }
    if (!value.is_number_integer()) Fail(where, "is not a whole number");
    return value.get<int64_t>();
  }
  int64_t Count(const json& value, const std::string& where) const {
    const int64_t count = Integer(value, where);
    if (count < 0) Fail(where, "is negative");
    return count;
  }
  std::vector<int64_t> Counts(const json& value, const std::string& where) const {
    std::vector<int64_t> counts;
    size_t i = 0;
    for (const json& item : Array(value, where)) counts.push_back(Count(item, Index(where, i++)));
    return counts;
  }
  // A list of numbers and nulls.
  std::vector<std::optional<double>> Numbers(const json& value, const std::string& where) const {
    std::vector<std::optional<double>> numbers;
    size_t i = 0;
    for (const json& item : Array(value, where)) {
      const std::string at = Index(where, i++);
      numbers.push_back(item.is_null() ? std::nullopt : std::optional<double>(Number(item, at)));
    }
    return numbers;
  }

  static std::string Join(const std::string& where, const char* name) {
    return where.empty() ? std::string(name) : where + "." + name;
  }
  static std::string Index(const std::string& where, size_t i) {
    return where + "[" + std::to_string(i) + "]";
  }

 private:
  std::string fPath;
};

SlotKind KindOf(const Reader& reader, const json& value, const std::string& where) {
  const std::string name = reader.Text(value, where);
  for (SlotKind kind : {SlotKind::Categorical, SlotKind::Continuous, SlotKind::Matrix, SlotKind::Partition,
                        SlotKind::Fold, SlotKind::Weight, SlotKind::Counter}) {
    if (name == SlotKindName(kind)) return kind;
  }
  reader.Fail(where, "is not a kind of record slot: \"" + name + "\"");
}

CategorySummary ReadCategory(const Reader& r, const json& value, const std::string& where) {
  r.Object(value, where);
  CategorySummary category;
  category.fCode = static_cast<int>(r.Integer(r.Member(value, "code", where), Reader::Join(where, "code")));
  category.fValue = r.Text(r.Member(value, "value", where), Reader::Join(where, "value"));
  if (const json* label = r.Optional(value, "label"))
    category.fLabel = r.Text(*label, Reader::Join(where, "label"));
  if (const json* key = r.Optional(value, "key")) {
    if (key->is_string()) {
      category.fText = key->get<std::string>();
    } else {
      category.fNumber = r.Number(*key, Reader::Join(where, "key"));
    }
  }
  category.fCount = r.Count(r.Member(value, "count", where), Reader::Join(where, "count"));
  category.fWeighted = r.Number(r.Member(value, "weighted", where), Reader::Join(where, "weighted"));
  if (const json* parts = r.Optional(value, "byPartition"))
    category.fvByPartition = r.Counts(*parts, Reader::Join(where, "byPartition"));
  return category;
}

HistogramSummary ReadHistogram(const Reader& r, const json& value, const std::string& where) {
  r.Object(value, where);
  HistogramSummary histogram;
  histogram.fStart = r.Number(r.Member(value, "start", where), Reader::Join(where, "start"));
  histogram.fWidth = r.Number(r.Member(value, "width", where), Reader::Join(where, "width"));
  if (!(histogram.fWidth > 0.0)) r.Fail(Reader::Join(where, "width"), "is not above 0");
  const std::string at = Reader::Join(where, "counts");
  size_t i = 0;
  for (const json& counts : r.Array(r.Member(value, "counts", where), at)) {
    histogram.fvCounts.push_back(r.Counts(counts, Reader::Index(at, i++)));
    if (histogram.fvCounts.back().size() != histogram.fvCounts.front().size()) {
      r.Fail(Reader::Index(at, i - 1), "does not have as many bins as the first partition");
    }
  }
  return histogram;
}

VariableSummary ReadVariable(const Reader& r, const json& value, const std::string& where) {
  r.Object(value, where);
  VariableSummary variable;
  variable.fSlot = static_cast<int>(r.Integer(r.Member(value, "slot", where), Reader::Join(where, "slot")));
  variable.fName = r.Text(r.Member(value, "name", where), Reader::Join(where, "name"));
  variable.fKind = KindOf(r, r.Member(value, "kind", where), Reader::Join(where, "kind"));
  if (variable.fKind == SlotKind::Categorical) {
    const std::string at = Reader::Join(where, "categories");
    size_t i = 0;
    for (const json& category : r.Array(r.Member(value, "categories", where), at)) {
      variable.fvCategories.push_back(ReadCategory(r, category, Reader::Index(at, i++)));
    }
    if (const json* missing = r.Optional(value, "missing")) {
      const std::string m = Reader::Join(where, "missing");
      r.Object(*missing, m);
      variable.fMissing = r.Count(r.Member(*missing, "count", m), Reader::Join(m, "count"));
      variable.fMissingWeighted = r.Number(r.Member(*missing, "weighted", m), Reader::Join(m, "weighted"));
    }
    if (const json* unseen = r.Optional(value, "unseen"))
      variable.fUnseen = r.Count(*unseen, Reader::Join(where, "unseen"));
    if (const json* parts = r.Optional(value, "missingByPartition"))
      variable.fvMissingByPartition = r.Counts(*parts, Reader::Join(where, "missingByPartition"));
    if (const json* parts = r.Optional(value, "unseenByPartition"))
      variable.fvUnseenByPartition = r.Counts(*parts, Reader::Join(where, "unseenByPartition"));
  } else {
    if (const json* min = r.Optional(value, "min"))
      variable.fMin = r.Number(*min, Reader::Join(where, "min"));
    if (const json* max = r.Optional(value, "max"))
      variable.fMax = r.Number(*max, Reader::Join(where, "max"));
    if (const json* histogram = r.Optional(value, "histogram"))
      variable.fHistogram = ReadHistogram(r, *histogram, Reader::Join(where, "histogram"));
  }
  return variable;
}

PartitionSummary ReadPartition(const Reader& r, const json& value, const std::string& where) {
  r.Object(value, where);
  PartitionSummary partition;
  partition.fName = r.Text(r.Member(value, "name", where), Reader::Join(where, "name"));
  partition.fRecords = r.Count(r.Member(value, "records", where), Reader::Join(where, "records"));
  if (const json* file = r.Optional(value, "file"))
    partition.fFile = r.Text(*file, Reader::Join(where, "file"));
  const std::pair<const char*, std::vector<std::optional<double>>*> lists[] = {
      {"min", &partition.fvMin},
      {"max", &partition.fvMax},
      {"mean", &partition.fvMean},
      {"meanSquare", &partition.fvMeanSquare}};
  for (const auto& [name, list] : lists) {
    if (const json* numbers = r.Optional(value, name)) *list = r.Numbers(*numbers, Reader::Join(where, name));
  }
  if (const json* folds = r.Optional(value, "folds"))
    partition.fvFoldRecords = r.Counts(*folds, Reader::Join(where, "folds"));
  return partition;
}

SplitSummary ReadSplit(const Reader& r, const json& value, const std::string& where) {
  r.Object(value, where);
  SplitSummary split;
  const std::string values = Reader::Join(where, "values");
  size_t i = 0;
  for (const json& item : r.Array(r.Member(value, "values", where), values)) {
    const std::string at = Reader::Index(values, i++);
    r.Object(item, at);
    SplitValueSummary splitValue;
    splitValue.fName = r.Text(r.Member(item, "name", at), Reader::Join(at, "name"));
    splitValue.fValue = r.Text(r.Member(item, "value", at), Reader::Join(at, "value"));
    if (const json* label = r.Optional(item, "label"))
      splitValue.fLabel = r.Text(*label, Reader::Join(at, "label"));
    split.fvValues.push_back(std::move(splitValue));
  }
  split.fCases = r.Count(r.Member(value, "cases", where), Reader::Join(where, "cases"));
  split.fValid = r.Count(r.Member(value, "valid", where), Reader::Join(where, "valid"));
  split.fInvalid = r.Count(r.Member(value, "invalid", where), Reader::Join(where, "invalid"));
  const std::string weighted = Reader::Join(where, "weighted");
  const json& w = r.Object(r.Member(value, "weighted", where), weighted);
  split.fWeightedCases = r.Number(r.Member(w, "cases", weighted), Reader::Join(weighted, "cases"));
  split.fWeightedValid = r.Number(r.Member(w, "valid", weighted), Reader::Join(weighted, "valid"));
  split.fWeightedInvalid = r.Number(r.Member(w, "invalid", weighted), Reader::Join(weighted, "invalid"));
  if (const json* excluded = r.Optional(value, "excluded"))
    split.fExcluded = r.Count(*excluded, Reader::Join(where, "excluded"));

  const std::string variables = Reader::Join(where, "variables");
  i = 0;
  for (const json& item : r.Array(r.Member(value, "variables", where), variables)) {
    split.fvVariables.push_back(ReadVariable(r, item, Reader::Index(variables, i++)));
  }
  const std::string partitions = Reader::Join(where, "partitions");
  i = 0;
  for (const json& item : r.Array(r.Member(value, "partitions", where), partitions)) {
    split.fvPartitions.push_back(ReadPartition(r, item, Reader::Index(partitions, i++)));
  }

  // The missing-value reasons are kept by variable name in the file and in
  // variable order here.
  split.fReasons.fvMissing.assign(split.fvVariables.size(), 0);
  if (const json* reasons = r.Optional(value, "reasons")) {
    const std::string at = Reader::Join(where, "reasons");
    r.Object(*reasons, at);
    split.fReasons.fWeight = r.Count(r.Member(*reasons, "weight", at), Reader::Join(at, "weight"));
    split.fReasons.fMatrix = r.Count(r.Member(*reasons, "matrix", at), Reader::Join(at, "matrix"));
    split.fReasons.fPartition = r.Count(r.Member(*reasons, "partition", at), Reader::Join(at, "partition"));
    const std::string m = Reader::Join(at, "missing");
    for (const auto& [name, count] : r.Object(r.Member(*reasons, "missing", at), m).items()) {
      size_t v = 0;
      while (v < split.fvVariables.size() && split.fvVariables[v].fName != name) ++v;
      if (v == split.fvVariables.size()) r.Fail(m, "names " + name + ", which is not a record variable");
      split.fReasons.fvMissing[v] = r.Count(count, m + "." + name);
    }
  }
  return split;
}

}  // namespace

Summary SummaryFromJson(const nlohmann::ordered_json& root, const std::string& path) {
  Reader r(path);
  if (!root.is_object()) r.Fail("the top level", "is not an object");
  Summary summary;
  if (const json* settings = r.Optional(root, "settings"))
    summary.fRun.fSettings = r.Object(*settings, "settings");
  summary.fCases = r.Count(r.Member(root, "cases", ""), "cases");
  size_t i = 0;
  for (const json& item : r.Array(r.Member(root, "record", ""), "record")) {
    const std::string at = Reader::Index("record", i++);
    r.Object(item, at);
    SlotInfo slot;
    slot.fSlot = static_cast<int>(r.Integer(r.Member(item, "slot", at), Reader::Join(at, "slot")));
    slot.fName = r.Text(r.Member(item, "name", at), Reader::Join(at, "name"));
    slot.fKind = KindOf(r, r.Member(item, "kind", at), Reader::Join(at, "kind"));
    summary.fvRecord.push_back(std::move(slot));
  }
  i = 0;
  for (const json& item : r.Array(r.Member(root, "splits", ""), "splits")) {
    summary.fvSplits.push_back(ReadSplit(r, item, Reader::Index("splits", i++)));
  }
  return summary;
}

Summary ReadSummaryFile(const std::string& path) {
  RequireRegularFile(path, "summary");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot open the summary: " + std::strerror(errno != 0 ? errno : EIO));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad())
    throw InputError(path + ": cannot read the summary: " + std::strerror(errno != 0 ? errno : EIO));
  const json root = json::parse(text.str(), nullptr, false);
  if (root.is_discarded()) {
    throw InputError(path + ": not JSON; give the summary.json that kvo prepare wrote with --out");
  }
  return SummaryFromJson(root, path);
}

}  // namespace kvo
