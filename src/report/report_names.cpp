#include "report/report_names.h"

#include <cstdio>

namespace sarnavel {

std::string_view encodingName(const EncodingDecision& decision, ContentForm form) {
  switch (decision.encoding) {
    case SourceEncoding::Ascii: return "ascii";
    case SourceEncoding::ShiftJis: return "shift_jis";
    case SourceEncoding::EucJp: return "euc-jp";
    case SourceEncoding::Iso2022Jp: return "iso-2022-jp";
    case SourceEncoding::Utf8: return decision.basis == DecisionBasis::ByteOrderMark ? "utf-8-bom" : "utf-8";
    case SourceEncoding::Latin1: return "windows-1252";
    case SourceEncoding::Utf16: break;
  }
  return form == ContentForm::Utf16BigEndian ? "utf-16be" : "utf-16le";
}

std::string_view targetName(TargetEncoding target) {
  switch (target) {
    case TargetEncoding::ShiftJis: return "shift_jis";
    case TargetEncoding::EucJp: return "euc-jp";
    case TargetEncoding::Iso2022Jp: return "iso-2022-jp";
    case TargetEncoding::Utf8: break;
  }
  return "utf-8";
}

std::string_view decisionBasisName(DecisionBasis basis) {
  switch (basis) {
    case DecisionBasis::ByteOrderMark: return "byte-order-mark";
    case DecisionBasis::Utf16Shape: return "utf-16-shape";
    case DecisionBasis::WrittenByThisRun: return "written-by-this-run";
    case DecisionBasis::WrittenEarlier: return "written-earlier";
    case DecisionBasis::Named: return "named";
    case DecisionBasis::Declaration: return "declaration";
    case DecisionBasis::LoadingElement: return "loading-element";
    case DecisionBasis::LoadingPage: return "loading-page";
    case DecisionBasis::Site: return "site";
    case DecisionBasis::Detection: break;
  }
  return "detection";
}

std::string_view declarationWhere(DeclarationForm form) {
  switch (form) {
    case DeclarationForm::ContentTypeMeta: return "meta";
    case DeclarationForm::MetaCharset: return "meta-charset";
    case DeclarationForm::XmlDeclaration: return "xml";
    case DeclarationForm::CharsetRule: break;
  }
  return "@charset";
}

std::string_view declarationFateName(DeclarationFate fate) {
  switch (fate) {
    case DeclarationFate::Replaced: return "replaced";
    case DeclarationFate::MovedBeforeTitle: return "moved-before-title";
    case DeclarationFate::MovedEarlier: return "moved-earlier";
    case DeclarationFate::Added: return "added";
    case DeclarationFate::Rewritten: return "rewritten";
    case DeclarationFate::Kept: break;
  }
  return "kept";
}

std::string_view documentKindName(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::Page: return "html";
    case DocumentKind::StyleSheet: return "css";
    case DocumentKind::Text: return "txt";
    case DocumentKind::Xml: return "xml";
    case DocumentKind::Script: break;
  }
  return "js";
}

std::string_view standInName(StandIn standIn) {
  switch (standIn) {
    case StandIn::GetaMark: return "geta-mark";
    case StandIn::Reference: return "reference";
    case StandIn::UnshownReference: return "unshown-reference";
    case StandIn::ReplacementCharacter: break;
  }
  return "replacement-character";
}

std::string positionText(TextPosition at) {
  if (at.line == 0) return {};
  return std::to_string(at.line) + ":" + std::to_string(at.column);
}

std::string codePointText(char32_t codePoint) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
  return text;
}

std::string_view referenceStatusName(ReferenceStatus status) {
  switch (status) {
    case ReferenceStatus::Remote: return "remote";
    case ReferenceStatus::Missing: return "missing";
    case ReferenceStatus::Followable: return "followed";
    case ReferenceStatus::WrongKind: return "wrong-kind";
    case ReferenceStatus::ForeignOwner: return "foreign-owner";
    case ReferenceStatus::Binary: break;
  }
  return "binary";
}

std::string_view modeName(WriteMode mode) {
  switch (mode) {
    case WriteMode::Write: return "conversion";
    case WriteMode::DryRun: return "dry-run";
    case WriteMode::Check: break;
  }
  return "check";
}

}  // namespace sarnavel
