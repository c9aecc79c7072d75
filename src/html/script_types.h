// What a `script` element is to a browser, by its `type` attribute (or, without one, its
// `language`), and which `link` elements load a style sheet.
//
// A browser runs a classic script when `type` is absent or empty, or is one of the JavaScript
// MIME types (text/javascript, application/javascript, application/x-javascript,
// text/ecmascript, text/jscript and the rest of the HTML standard's list), compared without
// letter case and without surrounding white space; without `type`, a non-empty `language`
// names the type "text/" + language (language="JavaScript"). "module" makes a module script,
// which browsers always read as UTF-8. Any other type is a data block the browser does not run
// (JSON, templates). A `link` loads a style sheet when one of the words of its `rel` is
// "stylesheet" (so "alternate stylesheet" does too).
//
// Pure functions over a tag's attributes (tag_scanner.h); callable from any thread.
#pragma once

#include <string_view>

#include "html/tag_scanner.h"

namespace sarnavel {

enum class ScriptKind { Classic, Module, Other };

ScriptKind scriptKindOf(const AttributeMap& attributes);

// Whether the body of a script of this type holds script text, in which escapes are read as
// JavaScript's (JavaScript and JSON of any spelling, modules, no type at all), rather than
// HTML to be read back (a template).
bool holdsScriptText(const AttributeMap& attributes);

bool loadsStyleSheet(const AttributeMap& attributes);

// The value without the ASCII white space around it.
std::string_view trimAsciiSpace(std::string_view value);

}  // namespace sarnavel
