// The categories a run starts from instead of an empty list: the codes an
// earlier run saved in its summary.json (--codes-from), or the schema's
// category lists (--order schema). Before a split group's first case is
// encoded, its categorical record variables are seeded with these values in
// code order, so that value k of a list takes code k. Plain values, built
// once before the passes; any thread may read them.
#ifndef KVO_TOOL_CATEGORYCODES_H
#define KVO_TOOL_CATEGORYCODES_H

#include <standin/MemoryDataSource.h>
#include <vorm/Types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "RecordLayout.h"

namespace kvo {

// One categorical record variable's values in code order, as host keys.
struct SeedKeys {
  int fSlot = 0;
  size_t fCells = 1;         // cells per key
  std::vector<OBS> fvCells;  // the keys one after another
  size_t Size() const { return fvCells.size() / fCells; }
  const OBS* Key(size_t code) const { return fvCells.data() + code * fCells; }
};

class CategorySeeds {
 public:
  // The codes saved in an earlier run's summary (`path`). Throws KvoError
  // (EXIT_BAD_INPUT, naming the file) when it is not a kvo summary, or lacks
  // a categorical record variable or the split variables of this run, or
  // holds a value the variable cannot take here.
  static std::unique_ptr<CategorySeeds> FromSummary(const std::string& path, const RecordLayout& layout,
                                                    const standin::MemoryDataSource& data);
  // The schema's category lists, the same for every split group. A listed
  // text wider than the variable cannot occur in the data and is left out.
  static std::unique_ptr<CategorySeeds> FromSchema(const RecordLayout& layout,
                                                   standin::MemoryDataSource& data);

  CategorySeeds(const CategorySeeds&) = delete;
  CategorySeeds& operator=(const CategorySeeds&) = delete;

  // True for saved codes: a value outside the lists gets no code (it is
  // missing). False for the schema's lists: other values follow them in
  // order of appearance.
  bool Closed() const { return fbClosed; }
  // The seeds of the split group with these split values (as the summary
  // shows them; empty without split groups), one entry per categorical
  // record variable in record order; null when there is no such group.
  const std::vector<SeedKeys>* ForGroup(const std::vector<std::string>& splitValues) const;
  // Where the codes come from, for messages.
  const std::string& Source() const { return fSource; }

 private:
  CategorySeeds(bool closed, std::string source) : fbClosed(closed), fSource(std::move(source)) {}

  bool fbClosed;
  std::string fSource;
  bool fbEveryGroup = false;  // one list for every group
  std::map<std::vector<std::string>, std::vector<SeedKeys>> fGroups;
};

// The UTF-8 text of a string category's key: its bytes without trailing
// blanks, converted from the host's encoding.
std::string StringKeyText(const OBS* key, int width);

}  // namespace kvo

#endif  // KVO_TOOL_CATEGORYCODES_H
