#include "engine/converter_options.h"

namespace sarnavel {

ConverterOptions parseConverterOptions(std::string_view optionString) {
  ConverterOptions options;
  std::size_t pos = 0;
  while (pos < optionString.size()) {
    std::size_t end = optionString.find(' ', pos);
    if (end == std::string_view::npos) end = optionString.size();
    std::string_view word = optionString.substr(pos, end - pos);
    pos = end + 1;
    if (word == "-s") options.output = TargetEncoding::ShiftJis;
    else if (word == "-e") options.output = TargetEncoding::EucJp;
    else if (word == "-j") options.output = TargetEncoding::Iso2022Jp;
    else if (word == "-w" || word == "-w80") options.output = TargetEncoding::Utf8;
    else if (word == "-x") options.keepHalfWidthKana = true;
    else if (word == "-Lw") options.lineEnding = LineEnding::CrLf;
    else if (word == "-Lu") options.lineEnding = LineEnding::Lf;
    else if (word == "-Lm") options.lineEnding = LineEnding::Cr;
    else if (word == "-c") options.addCrBeforeLf = true;
    else if (word == "-d") options.deleteCrBeforeLf = true;
  }
  return options;
}

}  // namespace sarnavel
