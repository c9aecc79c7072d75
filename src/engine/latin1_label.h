// Whether a declared charset means Windows code page 1252.
//
// Browsers read every label of that encoding the same way: "latin1" and "iso-8859-1", but also
// "windows-1252", "us-ascii", "l1" and the rest. A page or sheet that declares any of them is
// decoded as code page 1252 before it is converted. The label is compared without letter case
// and without surrounding white space or quotes.
#pragma once

#include <string_view>

namespace sarnavel {

bool isLatin1Label(std::string_view label);

}  // namespace sarnavel
