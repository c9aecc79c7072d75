// One walk over a converted page for everything its rewriting needs: the head landmarks (the
// rules of head_analysis.h) and the style sheets and scripts it loads (the rules of
// references.h), in a single TagWalk.
//
// The two readers skip differently on purpose. The head analysis skips every script body and
// every style body (a meta or title written there is no tag) and stops at `body`; the reference
// collection walks the whole page, skips the bodies of scripts it does not record and walks the
// bodies of recorded scripts and of style elements as text, as the program has always read
// references. The walk skips what both skip; where only the head analysis skips, the walk goes
// on and the head analysis passes over the tags up to where its skip would have resumed. When
// a tag read in such a body holds the body's end tag and starts a script whose body the
// references skip, the head analysis would read tags this walk passes over: the head is then
// analysed again on its own (analyseHead), so it is always what analyseHead finds.
//
// When `marks` is given, every tag the walk hands over is also shown to the collector of
// page_marks.h (forms and links whose meaning changes with the page's encoding), which hands
// what it finds to `marks`.
//
// Contract: `head` is reset first (resetHead); `references.elements` is appended to. Returns
// head.hasHtml. Reads only; linear in the page size.
#pragma once

#include <string_view>

#include "html/head_analysis.h"
#include "html/page_marks.h"
#include "html/references.h"

namespace sarnavel {

bool walkPage(std::string_view page, PARSE1INFO& head, PARSE2INFO& references, const PageMarkSink* marks = nullptr);

}  // namespace sarnavel
