#include "engine/target_options.h"

namespace sarnavel {
namespace {

struct TargetRow {
  const char* charsetName;
  const char* optionStrings[4];
};

constexpr TargetRow kTargets[4] = {
    {"Shift_JIS", {"-s -x", "-s -x -Lw -c", "-s -x -Lu -d", "-s -x -Lm"}},
    {"EUC-JP", {"-e -x", "-e -x -Lw -c", "-e -x -Lu -d", "-e -x -Lm"}},
    {"ISO-2022-JP", {"-j -x", "-j -x -Lw -c", "-j -x -Lu -d", "-j -x -Lm"}},
    {"UTF-8", {"-w -w80 -x", "-w -w80 -x -Lw -c", "-w -w80 -x -Lu -d", "-w -w80 -x -Lm"}},
};

bool inTable(int index) { return index >= 0 && index <= 3; }

}  // namespace

std::string_view targetOptionString(TargetEncoding target, LineEnding lineEnding) {
  const int row = static_cast<int>(target), column = static_cast<int>(lineEnding);
  if (!inTable(row) || !inTable(column)) return {};
  return kTargets[row].optionStrings[column];
}

std::string_view charsetNameOf(TargetEncoding target) {
  const int row = static_cast<int>(target);
  return inTable(row) ? kTargets[row].charsetName : std::string_view();
}

std::string applyTargetEncoding(ConverterOptions& options, TargetEncoding target, LineEnding lineEnding) {
  if (!isTargetEncoding(target)) return {};
  std::string_view optionString = targetOptionString(target, lineEnding);
  if (!optionString.empty()) options = parseConverterOptions(optionString);
  return std::string(charsetNameOf(target));
}

}  // namespace sarnavel
