// The languages whose escapes stand in for characters a document's encoding cannot hold.
#pragma once

namespace sarnavel {

enum class EscapeLanguage { Html, Css, JavaScript };

}  // namespace sarnavel
