#include "app/web/catalogue.h"

#include <cstdlib>
#include <string>
#include <unordered_map>

namespace nsoweb {
namespace {

constexpr std::string_view kCatalogue =
#include "app/web/catalogue_tsv.inc" // generated from assets/catalogue.tsv
    ;

/// English text to Italian, read once from the compiled-in catalogue: one pair a line, separated
/// by a tab; lines starting with # are comments.
const std::unordered_map<std::string, std::string>& Italian() {
    static const std::unordered_map<std::string, std::string> table = [] {
        std::unordered_map<std::string, std::string> pairs;
        std::size_t start = 0;
        while (start < kCatalogue.size()) {
            std::size_t end = kCatalogue.find('\n', start);
            end = end == std::string_view::npos ? kCatalogue.size() : end;
            const std::string_view line = kCatalogue.substr(start, end - start);
            const std::size_t tab = line.find('\t');
            if (!line.empty() && line.front() != '#' && tab != std::string_view::npos) {
                pairs.emplace(std::string(line.substr(0, tab)), std::string(line.substr(tab + 1)));
            }
            start = end + 1;
        }
        return pairs;
    }();
    return table;
}

} // namespace

Language FromAcceptLanguage(std::string_view header) {
    // "it-IT,it;q=0.9,en;q=0.8": the first of the best quality among those we have.
    double best = -1;
    Language chosen = Language::English;
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find(',', start);
        end = end == std::string_view::npos ? header.size() : end;
        std::string_view item = header.substr(start, end - start);
        start = end + 1;
        double quality = 1;
        if (const std::size_t semi = item.find(';'); semi != std::string_view::npos) {
            const std::string_view params = item.substr(semi + 1);
            if (const std::size_t q = params.find("q="); q != std::string_view::npos) {
                quality = std::strtod(std::string(params.substr(q + 2)).c_str(), nullptr);
            }
            item = item.substr(0, semi);
        }
        while (!item.empty() && item.front() == ' ') {
            item.remove_prefix(1);
        }
        const std::string_view primary = item.substr(0, 2);
        const bool italian = primary == "it" || primary == "IT";
        const bool english = primary == "en" || primary == "EN";
        if ((italian || english) && (item.size() == 2 || item[2] == '-') && quality > best) {
            best = quality;
            chosen = italian ? Language::Italian : Language::English;
        }
    }
    return chosen;
}

const char* LanguageTag(Language language) noexcept {
    return language == Language::Italian ? "it" : "en";
}

std::string Translate(Language language, std::string_view english) {
    if (language == Language::Italian) {
        const auto& table = Italian();
        if (const auto found = table.find(std::string(english)); found != table.end()) {
            return found->second;
        }
    }
    return std::string(english);
}

bool HasTranslation(std::string_view english) {
    return Italian().count(std::string(english)) > 0;
}

} // namespace nsoweb
