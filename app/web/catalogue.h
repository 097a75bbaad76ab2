#pragma once
// The web host's one message catalogue (assets/catalogue.tsv, compiled in): each text of the
// pages in English with its Italian translation. The language is the browser's (Accept-Language);
// texts that are data, the error log's catalogue texts among them, are shown as they are stored.

#include <string>
#include <string_view>

namespace nsoweb {

enum class Language { English, Italian };

/// The language the browser prefers among Italian and English (by quality, then by order);
/// English when it names neither.
[[nodiscard]] Language FromAcceptLanguage(std::string_view header);

/// "it" or "en", for the page's lang attribute.
[[nodiscard]] const char* LanguageTag(Language language) noexcept;

/// The text in `language`: the English text itself, or its Italian translation from the
/// catalogue (the English text when the catalogue has none).
[[nodiscard]] std::string Translate(Language language, std::string_view english);

/// Whether the catalogue has an Italian text for `english`.
[[nodiscard]] bool HasTranslation(std::string_view english);

} // namespace nsoweb
