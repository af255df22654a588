#include "Report.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "TextTable.h"

namespace kvo {
namespace {

using json = nlohmann::ordered_json;

// Room kept free for one split group's tables and notes and for the end of
// the page: the tables of a group are far smaller (their texts are
// shortened and their rows capped), so a group is begun only when this
// much is left.
constexpr size_t RESERVE = 32 * 1024;
// Characters of a partition's name in a chart; of a category's value, and
// of its value and label together, left of its bars (about the 250 pixels
// there); and of any text in a tooltip or a table cell.
constexpr size_t LABEL_CHARACTERS = 28;
constexpr size_t VALUE_CHARACTERS = 20;
constexpr size_t ROW_LABEL_CHARACTERS = 36;
constexpr size_t TEXT_CHARACTERS = 200;
// Rows of the invalid-case reasons before the rest are summed.
constexpr size_t REASON_ROWS = 20;

constexpr const char* STYLE =
    R"(body{font:14px/1.45 system-ui,sans-serif;color:#222;max-width:1120px;margin:1.5em auto;padding:0 1em}
h1{font-size:1.5em}h2{font-size:1.25em;border-bottom:2px solid #ccd;padding-bottom:.2em;margin-top:2em}
h3{font-size:1.05em;margin:1.4em 0 .4em}
table{border-collapse:collapse;margin:.4em 0}th,td{padding:2px 10px;text-align:left;border-bottom:1px solid #e3e3e8;vertical-align:top}
td.n,th.n{text-align:right;font-variant-numeric:tabular-nums}
figure{margin:1em 0 1.6em}figcaption{font-weight:600;margin-bottom:.3em}
svg{display:block;max-width:100%;height:auto}svg text{font:12px system-ui,sans-serif;fill:#222}
svg .axis{stroke:#999;stroke-width:1}svg .dim{fill:#666}
.p0{fill:#4e79a7}.p1{fill:#f28e2b}.p2{fill:#59a14f}.other{opacity:.55}.miss{opacity:.3}
svg text.new{fill:#b3261e;font-weight:600}svg text.onbar{fill:#fff}.new{color:#b3261e}
.hists{display:flex;flex-wrap:wrap;gap:6px 18px}.note{color:#555}
.key{display:inline-block;width:.8em;height:.8em;margin:0 .3em 0 .8em;vertical-align:-.05em}
.key.p0{background:#4e79a7}.key.p1{background:#f28e2b}.key.p2{background:#59a14f}
nav a{margin-right:1em})";

// ---------------------------------------------------------------------------
// Text and numbers.

std::string Percent(double part, double whole) {
  if (!(whole > 0.0)) return "-";
  return fmt::format("{:.1f}%", 100.0 * part / whole);
}

std::string Count(int64_t value) { return GroupDigits(value); }

// A cell's text, shortened and escaped.
std::string Cell(const std::string& text) { return HtmlText(Shortened(text, TEXT_CHARACTERS)); }

// A setting's value as a reader would write it.
std::string SettingText(const json& value) {
  if (value.is_null()) return "-";
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
  if (value.is_number()) return value.is_number_float() ? ReadableNumber(value.get<double>()) : value.dump();
  if (value.is_array()) {
    if (value.empty()) return "-";
    std::vector<std::string> items;
    for (const json& item : value) items.push_back(SettingText(item));
    return Join(items, ", ");
  }
  return value.dump();
}

// The steps of an axis over [low, high]: 1, 2 or 5 times a power of ten,
// about five of them.
std::vector<double> Ticks(double low, double high) {
  std::vector<double> ticks;
  const double range = high - low;
  if (!(range > 0.0) || !std::isfinite(range)) return {low};
  const double raw = range / 5.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double step = (norm < 1.5 ? 1.0 : norm < 3.0 ? 2.0 : norm < 7.0 ? 5.0 : 10.0) * magnitude;
  for (double k = std::ceil(low / step); k * step <= high && ticks.size() < 12; k += 1.0) {
    const double tick = k * step;
    ticks.push_back(std::fabs(tick) < step * 1e-9 ? 0.0 : tick);
  }
  return ticks;
}

// ---------------------------------------------------------------------------
// What the charts share.

// The partitions of a split group, with their class for colours.
struct PartitionView {
  std::string fName;
  int64_t fRecords = 0;
};

std::vector<PartitionView> Partitions(const SplitSummary& split) {
  std::vector<PartitionView> parts;
  for (const PartitionSummary& partition : split.fvPartitions) {
    if (parts.size() == 3) break;
    parts.push_back({partition.fName, partition.fRecords});
  }
  if (parts.empty()) parts.push_back({"records", split.fValid});
  return parts;
}

std::string Legend(const std::vector<PartitionView>& parts) {
  if (parts.size() < 2) return std::string();
  std::string legend = "<p class=\"note\">";
  for (size_t p = 0; p < parts.size(); ++p) {
    legend += fmt::format("<span class=\"key p{}\"></span>{}", p, HtmlText(parts[p].fName));
  }
  return legend + "</p>\n";
}

std::string SvgOpen(const std::string& id, double width, double height, const std::string& label) {
  return fmt::format(
      "<svg id=\"{}\" xmlns=\"http://www.w3.org/2000/svg\" width=\"{}\" height=\"{}\" viewBox=\"0 0 {} {}\" "
      "role=\"img\" aria-label=\"{}\">",
      id, SvgNumber(width), SvgNumber(height), SvgNumber(width), SvgNumber(height), Cell(label));
}

std::string Text(double x, double y, const std::string& text, const char* anchor = "start",
                 const char* cls = nullptr) {
  return fmt::format("<text x=\"{}\" y=\"{}\"{}{}>{}</text>", SvgNumber(x), SvgNumber(y),
                     std::string(anchor) == "start" ? "" : std::string(" text-anchor=\"") + anchor + "\"",
                     cls != nullptr ? std::string(" class=\"") + cls + "\"" : "", text);
}

std::string Rect(double x, double y, double width, double height, const std::string& cls,
                 const std::string& title) {
  return fmt::format(
      "<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" class=\"{}\"><title>{}</title></rect>",
      SvgNumber(x), SvgNumber(y), SvgNumber(std::max(width, 0.0)), SvgNumber(std::max(height, 0.0)), cls,
      title);
}

// ---------------------------------------------------------------------------
// The split group's tables.

std::string CountsTable(const SplitSummary& split) {
  return fmt::format(
      "<table class=\"counts\"><tr><th>cases</th><th class=\"n\">read</th><th class=\"n\">valid</th>"
      "<th class=\"n\">invalid</th></tr>\n"
      "<tr><th>plain</th><td class=\"n\">{}</td><td class=\"n\">{}</td><td class=\"n\">{}</td></tr>\n"
      "<tr><th>weighted</th><td class=\"n\">{}</td><td class=\"n\">{}</td><td "
      "class=\"n\">{}</td></tr></table>\n",
      Count(split.fCases), Count(split.fValid), Count(split.fInvalid), WeightedText(split.fWeightedCases),
      WeightedText(split.fWeightedValid), WeightedText(split.fWeightedInvalid));
}

// The reasons of the invalid cases: a bar per reason, then the table.
std::string Reasons(const SplitSummary& split, const std::string& id, bool partitioned) {
  if (split.fInvalid == 0) return "<p class=\"note\">No case was invalid.</p>\n";
  const RefusalReasons& r = split.fReasons;
  std::vector<std::pair<std::string, int64_t>> rows;
  if (r.fWeight > 0) rows.push_back({"weight adjusted to 0", r.fWeight});
  std::vector<std::pair<std::string, int64_t>> missing;
  for (size_t i = 0; i < r.fvMissing.size() && i < split.fvVariables.size(); ++i) {
    if (r.fvMissing[i] > 0) missing.push_back({split.fvVariables[i].fName + " missing", r.fvMissing[i]});
  }
  if (missing.size() > REASON_ROWS) {
    std::stable_sort(missing.begin(), missing.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    int64_t rest = 0;
    for (size_t i = REASON_ROWS; i < missing.size(); ++i) rest += missing[i].second;
    const size_t others = missing.size() - REASON_ROWS;
    missing.resize(REASON_ROWS);
    missing.push_back({fmt::format("{} more variables missing", others), rest});
  }
  rows.insert(rows.end(), missing.begin(), missing.end());
  if (r.fMatrix > 0) rows.push_back({"no matrix specification for the combination", r.fMatrix});
  if (r.fPartition > 0) rows.push_back({"refused by the partitioning", r.fPartition});
  const int64_t explained = std::accumulate(rows.begin(), rows.end(), int64_t{0},
                                            [](int64_t sum, const auto& row) { return sum + row.second; });
  if (explained < split.fInvalid) rows.push_back({"no reason recorded", split.fInvalid - explained});

  constexpr double LABEL = 300.0, BAR = 320.0, ROW = 20.0;
  const double height = ROW * static_cast<double>(rows.size()) + 6.0;
  std::string svg = SvgOpen(id, LABEL + BAR + 120.0, height, "why cases were invalid");
  for (size_t i = 0; i < rows.size(); ++i) {
    const double y = 3.0 + ROW * static_cast<double>(i);
    const double share = static_cast<double>(rows[i].second) / static_cast<double>(split.fInvalid);
    const std::string label = HtmlText(Shortened(rows[i].first, 48));
    svg += Text(LABEL - 6.0, y + 13.0, label, "end");
    svg += Rect(LABEL, y + 2.0, BAR * std::min(share, 1.0), ROW - 5.0, "p0",
                label + ": " + Count(rows[i].second));
    svg += Text(LABEL + BAR * std::min(share, 1.0) + 5.0, y + 13.0,
                Count(rows[i].second) + " (" +
                    Percent(static_cast<double>(rows[i].second), static_cast<double>(split.fInvalid)) + ")");
  }
  svg += "</svg>\n";
  std::string text = svg;
  if (partitioned && split.fExcluded > 0) {
    text += fmt::format(
        "<p class=\"note\">{} of the invalid cases had already been drawn into a partition, but their record "
        "was not stored.</p>\n",
        Count(split.fExcluded));
  }
  return text;
}

// The partitions' sizes: one bar divided among them, then the table.
std::string PartitionsPart(const SplitSummary& split, const std::string& id) {
  const std::vector<PartitionView> parts = Partitions(split);
  int64_t total = 0;
  for (const PartitionView& part : parts) total += part.fRecords;
  constexpr double WIDTH = 760.0, BAR = 26.0;
  std::string svg = SvgOpen(id, WIDTH, BAR + 4.0, "records per partition");
  double x = 0.0;
  for (size_t p = 0; p < parts.size(); ++p) {
    const double share =
        total > 0 ? static_cast<double>(parts[p].fRecords) / static_cast<double>(total) : 0.0;
    const double width = WIDTH * share;
    const std::string name = HtmlText(Shortened(parts[p].fName, LABEL_CHARACTERS));
    const std::string text = name + " " + Count(parts[p].fRecords) + " (" +
                             Percent(static_cast<double>(parts[p].fRecords), static_cast<double>(total)) +
                             ")";
    svg += Rect(x, 2.0, width, BAR, fmt::format("p{}", p), text);
    if (width > 7.0 * static_cast<double>(text.size()))
      svg += Text(x + 6.0, 2.0 + BAR / 2 + 4.0, text, "start", "onbar");
    x += width;
  }
  svg += "</svg>\n";
  std::string table =
      "<table class=\"partitions\"><tr><th>partition</th><th class=\"n\">records</th><th "
      "class=\"n\">share</th>"
      "<th>file</th></tr>\n";
  for (const PartitionSummary& partition : split.fvPartitions) {
    std::string file = partition.fFile ? Cell(*partition.fFile) : "-";
    if (!partition.fvFoldRecords.empty()) {
      std::vector<std::string> folds;
      for (int64_t n : partition.fvFoldRecords) folds.push_back(Count(n));
      file += " (folds: " + Cell(Join(folds, " / ")) + ")";
    }
    table += fmt::format("<tr><td>{}</td><td class=\"n\">{}</td><td class=\"n\">{}</td><td>{}</td></tr>\n",
                         Cell(partition.fName), Count(partition.fRecords),
                         Percent(static_cast<double>(partition.fRecords), static_cast<double>(total)), file);
  }
  return svg + Legend(parts) + table + "</table>\n";
}

// ---------------------------------------------------------------------------
// A categorical variable: one row per category, a bar per partition giving
// the category's share of the partition's records.

struct CategoryRow {
  std::string fValue, fLabel;
  std::vector<int64_t> fvCounts;  // per partition
  bool fbOthers = false, fbMissing = false, fbNew = false;
};

std::vector<int64_t> PerPartition(const std::vector<int64_t>& byPartition, int64_t total, size_t parts) {
  std::vector<int64_t> counts(parts, 0);
  if (byPartition.empty()) {
    counts[0] = total;  // a summary without the partitions' counts
  } else {
    for (size_t p = 0; p < parts && p < byPartition.size(); ++p) counts[p] = byPartition[p];
  }
  return counts;
}

std::string CategoryChart(const VariableSummary& variable, const std::vector<PartitionView>& parts,
                          const std::string& id, const std::string& unseenWhy) {
  const size_t nParts = parts.size();
  const bool partitioned = nParts > 1;
  const std::vector<CategorySummary>& categories = variable.fvCategories;
  // The most frequent categories, drawn in code order; the rest as "others".
  std::vector<size_t> order(categories.size());
  std::iota(order.begin(), order.end(), size_t{0});
  if (order.size() > REPORT_CATEGORIES) {
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return categories[a].fCount > categories[b].fCount; });
    order.resize(REPORT_CATEGORIES);
    std::sort(order.begin(), order.end());
  }
  std::vector<CategoryRow> rows;
  std::vector<bool> drawn(categories.size(), false);
  size_t newCategories = 0;
  for (size_t index : order) {
    drawn[index] = true;
    const CategorySummary& category = categories[index];
    CategoryRow row{category.fValue, category.fLabel,
                    PerPartition(category.fvByPartition, category.fCount, nParts)};
    if (partitioned && !category.fvByPartition.empty()) {
      row.fbNew = row.fvCounts[0] == 0 &&
                  std::any_of(row.fvCounts.begin() + 1, row.fvCounts.end(), [](int64_t n) { return n > 0; });
    }
    newCategories += row.fbNew ? 1 : 0;
    rows.push_back(std::move(row));
  }
  if (order.size() < categories.size()) {
    CategoryRow others{
        fmt::format("others ({} categories)", Count(static_cast<int64_t>(categories.size() - order.size()))),
        "", std::vector<int64_t>(nParts, 0)};
    others.fbOthers = true;
    for (size_t i = 0; i < categories.size(); ++i) {
      if (drawn[i]) continue;
      const std::vector<int64_t> counts =
          PerPartition(categories[i].fvByPartition, categories[i].fCount, nParts);
      for (size_t p = 0; p < nParts; ++p) others.fvCounts[p] += counts[p];
      if (partitioned && !categories[i].fvByPartition.empty() && counts[0] == 0) ++newCategories;
    }
    rows.push_back(std::move(others));
  }
  if (variable.fMissing > 0) {
    CategoryRow missing{"(missing, code -1)", "",
                        PerPartition(variable.fvMissingByPartition, variable.fMissing, nParts)};
    missing.fbMissing = true;
    rows.push_back(std::move(missing));
  }

  std::string figure = fmt::format("<figure><figcaption>{}</figcaption>\n", Cell(variable.fName));
  if (rows.empty()) {
    figure += "<p class=\"note\">No valid value.</p>\n";
  } else {
    constexpr double LABEL = 250.0, BAR = 360.0, TAIL = 130.0, BAR_HEIGHT = 11.0, GAP = 7.0;
    const double rowHeight = BAR_HEIGHT * static_cast<double>(nParts) + GAP;
    double maxShare = 0.0;
    for (const CategoryRow& row : rows) {
      for (size_t p = 0; p < nParts; ++p) {
        if (parts[p].fRecords > 0)
          maxShare = std::max(maxShare,
                              static_cast<double>(row.fvCounts[p]) / static_cast<double>(parts[p].fRecords));
      }
    }
    if (!(maxShare > 0.0)) maxShare = 1.0;
    std::string svg = SvgOpen(id, LABEL + BAR + TAIL, rowHeight * static_cast<double>(rows.size()) + GAP,
                              variable.fName + ": category frequencies");
    for (size_t r = 0; r < rows.size(); ++r) {
      const CategoryRow& row = rows[r];
      const double top = GAP + rowHeight * static_cast<double>(r);
      // Value and label share the room left of the bars.
      const std::string value = Shortened(row.fValue, VALUE_CHARACTERS);
      const size_t room = ROW_LABEL_CHARACTERS - std::min(DisplayWidth(value) + 1, ROW_LABEL_CHARACTERS - 8);
      std::string name = HtmlText(value);
      std::string full = Cell(row.fValue);
      if (!row.fLabel.empty()) {
        name += " <tspan class=\"dim\">" + HtmlText(Shortened(row.fLabel, room)) + "</tspan>";
        full += " " + Cell(row.fLabel);
      }
      if (row.fbNew) {
        name += " \xE2\x97\x86";  // a diamond: not in training
        full += " (not in training)";
      }
      svg += "<g>";
      svg += Text(LABEL - 6.0, top + rowHeight / 2.0 - 1.0, name, "end", row.fbNew ? "new" : nullptr);
      for (size_t p = 0; p < nParts; ++p) {
        const double records = static_cast<double>(parts[p].fRecords);
        const double share = records > 0.0 ? static_cast<double>(row.fvCounts[p]) / records : 0.0;
        const double y = top + BAR_HEIGHT * static_cast<double>(p);
        const std::string counted =
            Count(row.fvCounts[p]) + " (" + Percent(static_cast<double>(row.fvCounts[p]), records) + ")";
        const std::string cls = fmt::format("p{}{}", p,
                                            row.fbOthers    ? " other"
                                            : row.fbMissing ? " miss"
                                                            : "");
        svg += Rect(LABEL, y, BAR * share / maxShare, BAR_HEIGHT - 1.0, cls,
                    full + ", " + HtmlText(parts[p].fName) + ": " + counted);
        svg += Text(LABEL + BAR * share / maxShare + 4.0, y + BAR_HEIGHT - 2.0, counted);
      }
      svg += "</g>\n";
    }
    figure += svg + "</svg>\n";
  }
  std::vector<std::string> notes;
  if (newCategories > 0) {
    notes.push_back(
        fmt::format("<span class=\"new\">\xE2\x97\x86 not in training</span>: {} "
                    "{} only in other partitions",
                    newCategories, newCategories == 1 ? "category was found" : "categories were found"));
  }
  if (categories.size() > REPORT_CATEGORIES) {
    notes.push_back(
        fmt::format("the {} most frequent of {} categories are drawn (in code order); the rest are summed "
                    "as others",
                    REPORT_CATEGORIES, Count(static_cast<int64_t>(categories.size()))));
  }
  if (variable.fUnseen > 0) {
    std::string where;
    if (variable.fvUnseenByPartition.size() >= nParts && partitioned) {
      std::vector<std::string> counts;
      for (size_t p = 0; p < nParts; ++p) {
        if (variable.fvUnseenByPartition[p] > 0)
          counts.push_back(HtmlText(parts[p].fName) + " " + Count(variable.fvUnseenByPartition[p]));
      }
      where = " (" + Join(counts, ", ") + ")";
    }
    notes.push_back(fmt::format("<span class=\"new\">{} {} no code</span>{}: {}", Count(variable.fUnseen),
                                variable.fUnseen == 1 ? "value had" : "values had", where, unseenWhy));
  }
  for (const std::string& note : notes) figure += "<p class=\"note\">" + note + "</p>\n";
  return figure + "</figure>\n";
}

// ---------------------------------------------------------------------------
// A continuous variable: min, max and mean per partition, and a histogram
// per partition over the shared bins, bars as shares of the partition's
// values on one scale.

std::string HistogramChart(const HistogramSummary& histogram, size_t p, const PartitionView& part,
                           double maxShare, const std::string& id, const std::string& name) {
  constexpr double WIDTH = 350.0, HEIGHT = 150.0, LEFT = 8.0, RIGHT = 12.0, TOP = 22.0, PLOT = 92.0;
  const std::vector<int64_t>& counts = histogram.fvCounts[p];
  const int64_t total = std::accumulate(counts.begin(), counts.end(), int64_t{0});
  const double plotWidth = WIDTH - LEFT - RIGHT;
  const size_t bins = counts.size();
  const double low = histogram.fStart;
  const double high = histogram.fStart + histogram.fWidth * static_cast<double>(bins);
  std::string svg = fmt::format(
      "<svg id=\"{}\" class=\"histogram\" data-partition=\"{}\" xmlns=\"http://www.w3.org/2000/svg\" "
      "width=\"{}\" "
      "height=\"{}\" viewBox=\"0 0 {} {}\" role=\"img\" aria-label=\"{}\">",
      id, HtmlText(part.fName), SvgNumber(WIDTH), SvgNumber(HEIGHT), SvgNumber(WIDTH), SvgNumber(HEIGHT),
      Cell(name + ", " + part.fName + ": histogram"));
  svg +=
      Text(LEFT, 14.0, HtmlText(Shortened(part.fName, LABEL_CHARACTERS)) + " (" + Count(total) + " values)");
  const double barWidth = bins > 0 ? plotWidth / static_cast<double>(bins) : plotWidth;
  for (size_t b = 0; b < bins; ++b) {
    if (counts[b] == 0 || total == 0) continue;
    const double share = static_cast<double>(counts[b]) / static_cast<double>(total);
    const double height = PLOT * share / maxShare;
    const double from = histogram.fStart + histogram.fWidth * static_cast<double>(b);
    svg += Rect(
        LEFT + barWidth * static_cast<double>(b), TOP + PLOT - height, std::max(barWidth - 0.5, 0.5), height,
        fmt::format("p{}", p),
        fmt::format("[{}, {}): {} ({})", ReadableNumber(from), ReadableNumber(from + histogram.fWidth),
                    Count(counts[b]), Percent(static_cast<double>(counts[b]), static_cast<double>(total))));
  }
  svg += fmt::format("<line class=\"axis\" x1=\"{}\" y1=\"{}\" x2=\"{}\" y2=\"{}\"/>", SvgNumber(LEFT),
                     SvgNumber(TOP + PLOT), SvgNumber(LEFT + plotWidth), SvgNumber(TOP + PLOT));
  for (double tick : Ticks(low, high)) {
    const double x = LEFT + plotWidth * (high > low ? (tick - low) / (high - low) : 0.5);
    svg += fmt::format("<line class=\"axis\" x1=\"{0}\" y1=\"{1}\" x2=\"{0}\" y2=\"{2}\"/>", SvgNumber(x),
                       SvgNumber(TOP + PLOT), SvgNumber(TOP + PLOT + 4.0));
    svg += Text(x, TOP + PLOT + 17.0, HtmlText(ReadableNumber(tick)), "middle");
  }
  svg += Text(WIDTH - RIGHT, 14.0, "bins of " + HtmlText(ReadableNumber(histogram.fWidth)), "end", "dim");
  return svg + "</svg>\n";
}

std::string ContinuousPart(const VariableSummary& variable, const SplitSummary& split,
                           const std::vector<PartitionView>& parts, const std::string& id) {
  std::string figure = fmt::format("<figure><figcaption>{}</figcaption>\n", Cell(variable.fName));
  figure +=
      "<table class=\"ranges\"><tr><th>partition</th><th class=\"n\">min</th><th class=\"n\">max</th>"
      "<th class=\"n\">mean</th></tr>\n";
  const size_t slot = static_cast<size_t>(std::max(variable.fSlot, 0));
  auto value = [slot](const std::vector<std::optional<double>>& values) {
    return slot < values.size() && values[slot] ? ReadableNumber(*values[slot]) : std::string("-");
  };
  for (const PartitionSummary& partition : split.fvPartitions) {
    figure += fmt::format(
        "<tr><td>{}</td><td class=\"n\">{}</td><td class=\"n\">{}</td><td class=\"n\">{}</td></tr>\n",
        Cell(partition.fName), value(partition.fvMin), value(partition.fvMax),
        partition.fRecords > 0 ? value(partition.fvMean) : std::string("-"));
  }
  figure += "</table>\n";
  if (!variable.fHistogram || variable.fHistogram->fvCounts.empty()) {
    figure += "<p class=\"note\">No histogram: no value was seen.</p>\n";
    return figure + "</figure>\n";
  }
  const HistogramSummary& histogram = *variable.fHistogram;
  double maxShare = 0.0;
  const size_t nParts = std::min(parts.size(), histogram.fvCounts.size());
  for (size_t p = 0; p < nParts; ++p) {
    const std::vector<int64_t>& counts = histogram.fvCounts[p];
    const int64_t total = std::accumulate(counts.begin(), counts.end(), int64_t{0});
    for (int64_t n : counts) {
      if (total > 0) maxShare = std::max(maxShare, static_cast<double>(n) / static_cast<double>(total));
    }
  }
  if (!(maxShare > 0.0)) maxShare = 1.0;
  figure += "<div class=\"hists\">\n";
  for (size_t p = 0; p < nParts; ++p) {
    figure += HistogramChart(histogram, p, parts[p], maxShare, fmt::format("{}-p{}", id, p), variable.fName);
  }
  return figure + "</div>\n</figure>\n";
}

// ---------------------------------------------------------------------------
// The page.

class Page {
 public:
  explicit Page(const Summary& summary) : fSummary(summary) {}

  std::string Render() {
    const json& settings = fSummary.fRun.fSettings;
    std::string data = "the data";
    if (settings.is_object() && settings.contains("data") && settings["data"].is_string())
      data = settings["data"].get<std::string>();
    fOut =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    fOut +=
        "<title>kvo prepare: " + Cell(data) + "</title>\n<style>\n" + STYLE + "\n</style>\n</head>\n<body>\n";
    fOut += "<h1>kvo prepare: " + Cell(data) + "</h1>\n";
    const size_t groups = fSummary.fvSplits.size();
    fOut += fmt::format("<p>{} cases in the data; {}.</p>\n", Count(fSummary.fCases),
                        groups == 0 || (groups == 1 && fSummary.fvSplits[0].fvValues.empty())
                            ? std::string("no split groups")
                            : fmt::format("{} split groups", Count(static_cast<int64_t>(groups))));
    if (groups > 1) Navigation();
    for (size_t g = 0; g < groups; ++g) {
      if (fOut.size() + RESERVE > REPORT_LIMIT) {
        fOut += fmt::format(
            "<p class=\"note\" id=\"left-out\">Split groups {} to {} are not shown: the report stays under 1 "
            "MiB. "
            "summary.json has every count.</p>\n",
            g + 1, groups);
        break;
      }
      Group(g);
    }
    Settings();
    fOut += "<footer class=\"note\"><p>Drawn by kvo from the run's summary.</p></footer>\n</body>\n</html>\n";
    return std::move(fOut);
  }

 private:
  bool Partitioned() const {
    const json& settings = fSummary.fRun.fSettings;
    for (const SplitSummary& split : fSummary.fvSplits) {
      if (split.fvPartitions.size() > 1) return true;
    }
    return settings.is_object() &&
           ((settings.contains("partition") && !settings["partition"].is_null()) ||
            (settings.contains("partitionVar") && !settings["partitionVar"].is_null()));
  }

  // What became of a value without a code, in the run's words.
  std::string UnseenWhy() const {
    const json& settings = fSummary.fRun.fSettings;
    const bool include =
        settings.is_object() && settings.contains("missing") && settings["missing"] == "include";
    std::string source = "not seen in training";
    if (settings.is_object() && settings.contains("codesFrom") && settings["codesFrom"].is_string())
      source = "not in the codes from " + Cell(settings["codesFrom"].get<std::string>());
    return source + (include ? "; their records hold code -1 (counted as missing above)"
                             : "; their cases were deleted (not in the records)");
  }

  void Navigation() {
    fOut += "<nav><p>";
    const size_t shown = std::min<size_t>(fSummary.fvSplits.size(), 200);
    for (size_t g = 0; g < shown; ++g) {
      fOut += fmt::format("<a href=\"#g{0}\">group {0}</a> ", g + 1);
    }
    if (shown < fSummary.fvSplits.size()) fOut += "...";
    fOut += "<a href=\"#settings\">settings</a></p></nav>\n";
  }

  void Group(size_t g) {
    const SplitSummary& split = fSummary.fvSplits[g];
    const std::string id = fmt::format("g{}", g + 1);
    const std::vector<PartitionView> parts = Partitions(split);
    fOut += fmt::format("<section id=\"{}\" class=\"group\">\n<h2>{}</h2>\n", id,
                        Cell(GroupTitle(split, g + 1, fSummary.fvSplits.size())));
    fOut += "<h3>Cases</h3>\n" + CountsTable(split);
    fOut += "<h3>Why cases were invalid</h3>\n" + Reasons(split, id + "-reasons", Partitioned());
    fOut += "<h3>Partitions</h3>\n" + PartitionsPart(split, id + "-partitions");

    size_t leftOut = 0;
    bool categoricalHeading = false, continuousHeading = false;
    for (const VariableSummary& variable : split.fvVariables) {
      std::string part;
      if (variable.fKind == SlotKind::Categorical) {
        if (!categoricalHeading) part += "<h3>Categorical variables</h3>\n" + Legend(parts);
        categoricalHeading = true;
        // A summary written before the partitions' counts were kept: one
        // bar per category, of all valid records.
        const bool byPartition =
            variable.fvCategories.empty() || !variable.fvCategories.front().fvByPartition.empty();
        const std::vector<PartitionView> shown =
            byPartition ? parts : std::vector<PartitionView>{{"valid records", split.fValid}};
        part += CategoryChart(variable, shown, fmt::format("{}-cat-{}", id, variable.fSlot), UnseenWhy());
      } else if (variable.fKind == SlotKind::Continuous) {
        if (!continuousHeading) part += "<h3>Continuous variables</h3>\n";
        continuousHeading = true;
        part += ContinuousPart(variable, split, parts, fmt::format("{}-hist-{}", id, variable.fSlot));
      } else {
        continue;
      }
      if (fOut.size() + part.size() + RESERVE > REPORT_LIMIT) {
        ++leftOut;
        continue;
      }
      fOut += part;
    }
    if (leftOut > 0) {
      fOut += fmt::format(
          "<p class=\"note left-out\">The charts of {} variables are left out: the report stays under 1 MiB. "
          "summary.json has every count.</p>\n",
          Count(static_cast<int64_t>(leftOut)));
    }
    fOut += "</section>\n";
  }

  void Settings() {
    fOut += "<h2 id=\"settings\">Settings</h2>\n<table class=\"settings\">\n";
    const json& settings = fSummary.fRun.fSettings;
    if (settings.is_object()) {
      for (const auto& [key, value] : settings.items()) {
        fOut += fmt::format("<tr><th>{}</th><td>{}</td></tr>\n", Cell(key), Cell(SettingText(value)));
      }
    }
    fOut += "</table>\n";
  }

  const Summary& fSummary;
  std::string fOut;
};

}  // namespace

std::string HtmlText(std::string_view text) {
  const std::string valid = ValidUtf8(std::string(text));
  std::string out;
  out.reserve(valid.size() + valid.size() / 8);
  for (char c : valid) {
    const unsigned char b = static_cast<unsigned char>(c);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if ((b < 0x20 && c != '\t' && c != '\n' && c != '\r') || b == 0x7F) {
          out += "\xEF\xBF\xBD";
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string Shortened(const std::string& text, size_t characters) {
  if (characters == 0) return std::string();
  size_t count = 0, cut = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // inside a character
    if (count == characters - 1) cut = i;  // where the ellipsis goes if the text is too long
    if (++count > characters) return text.substr(0, cut) + "\xE2\x80\xA6";
  }
  return text;
}

std::string SvgNumber(double value) {
  if (!std::isfinite(value)) return "0";
  const double rounded = std::round(value * 100.0) / 100.0;
  if (rounded == 0.0) return "0";
  if (std::fabs(rounded) >= 1e15) return fmt::format("{:.0f}", rounded);
  std::string text = fmt::format("{:.2f}", rounded);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string ReadableNumber(double value) {
  if (!std::isfinite(value)) return "-";
  if (value == 0.0) return "0";
  return fmt::format("{:.6g}", value);
}

std::string SummaryToHtml(const Summary& summary) { return Page(summary).Render(); }

}  // namespace kvo
