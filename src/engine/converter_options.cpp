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
    if (word == "-s") options.output = OutputEncoding::ShiftJis;
    else if (word == "-e") options.output = OutputEncoding::EucJp;
    else if (word == "-j") options.output = OutputEncoding::Iso2022Jp;
    else if (word == "-w" || word == "-w80") options.output = OutputEncoding::Utf8;
    else if (word == "-x") options.keepHalfWidthKana = true;
    else if (word == "-Lw") options.lineBreak = LineBreak::CrLf;
    else if (word == "-Lu") options.lineBreak = LineBreak::Lf;
    else if (word == "-Lm") options.lineBreak = LineBreak::Cr;
    else if (word == "-c") options.addCrBeforeLf = true;
    else if (word == "-d") options.deleteCrBeforeLf = true;
  }
  return options;
}

}  // namespace sarnavel
