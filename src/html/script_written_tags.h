// The `script` elements a page's own scripts write (document.write) with a charset attribute.
//
// A tag written by a script is text inside the script's string, not an element of the page:
// the page's rewriting does not see it, so its charset would keep naming the old encoding and
// the browser would misread the file it loads once that file is converted (and, from its
// cache, every other page's load of that file). Such tags are found where a browser would find
// them: inside the body of a script (html/page_regions.h), a "<script" in any letter case up
// to its ">" (or the end of the script), holding "charset" followed by a label; quotes and the
// backslashes that escape them in the script's string are stepped over, and the `src` is read
// likewise when it is written out whole (not pieced together by the script). Only pages that
// call document.write are looked through.
//
// Works on the text of a converted page in any of the targets (ISO-2022-JP when told). Reads
// only; linear in the page size.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sarnavel {

struct WrittenScriptTag {
  std::size_t at = 0;       // the offset of its "<"
  std::string text;         // the tag as the script spells it, up to its ">"
  std::size_t labelAt = 0;  // the offset of the charset's label
  std::string charset;      // the label
  std::string src;          // the src as written, when it is written out whole; else empty
};

std::vector<WrittenScriptTag> scriptTagsWrittenByScripts(std::string_view page, bool iso2022 = false);

}  // namespace sarnavel
