#include "engine/target_encoding.h"

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

}  // namespace

std::string_view targetOptionString(TargetEncoding index, LineEnding lineEnding) {
  auto column = static_cast<int>(lineEnding);
  if (index < 0 || index > 3 || column < 0 || column > 3) return {};
  return kTargets[index].optionStrings[column];
}

std::string applyTargetEncoding(ConverterOptions& options, TargetEncoding index, LineEnding lineEnding) {
  if (index < 0 || index > 3) return {};
  std::string_view optionString = targetOptionString(index, lineEnding);
  if (!optionString.empty()) options = parseConverterOptions(optionString);
  return kTargets[index].charsetName;
}

}  // namespace sarnavel
