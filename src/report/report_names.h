// The stable names the check mode and the report use for what the engine's record says, so a
// script reading them never meets a translated or renamed word.
//
//   encodings    shift_jis euc-jp iso-2022-jp utf-8 utf-8-bom utf-16le utf-16be windows-1252 ascii
//   targets      shift_jis euc-jp iso-2022-jp utf-8
//   decidedBy    byte-order-mark utf-16-shape written-by-this-run written-earlier named declaration
//                loading-element loading-page site detection
//   declaration  meta meta-charset xml @charset (where) and replaced moved-before-title moved-earlier added
//                rewritten kept (fate)
//   kinds        html css js
//   references   remote missing followed wrong-kind foreign-owner binary (status)
//   modes        conversion dry-run check
//   stand-ins    geta-mark replacement-character reference
// Positions are written "line:column". Pure functions.
#pragma once

#include <string>
#include <string_view>

#include "engine/document_reading.h"
#include "engine/document_result.h"
#include "engine/reference_resolver.h"
#include "run/file_drivers.h"
#include "text/target_encoding.h"

namespace sarnavel {

// What a file's bytes are in: the decision, told apart by its byte-order mark and byte order.
std::string_view encodingName(const EncodingDecision& decision, ContentForm form);
std::string_view targetName(TargetEncoding target);
std::string_view decisionBasisName(DecisionBasis basis);
std::string_view declarationWhere(DeclarationForm form);
std::string_view declarationFateName(DeclarationFate fate);
std::string_view documentKindName(DocumentKind kind);
std::string_view standInName(StandIn standIn);
std::string_view referenceStatusName(ReferenceStatus status);
std::string_view modeName(WriteMode mode);
std::string positionText(TextPosition at);      // "12:5"; "" when not known
std::string codePointText(char32_t codePoint);  // "U+00E9"

}  // namespace sarnavel
