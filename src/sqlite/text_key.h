#pragma once
// Statement texts as cache keys, each hashed once per call: a call looks its text up in several
// caches (translations, result shapes, prepared statements) with the one hash.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kvad::db {

/// A text with its hash.
struct TextKey {
    std::string_view text;
    std::size_t hash = 0;

    [[nodiscard]] static TextKey Of(std::string_view text) noexcept {
        return TextKey{text, std::hash<std::string_view>{}(text)};
    }
};

/// A text kept as a key, with its hash.
struct KeptText {
    std::string text;
    std::size_t hash = 0;

    explicit KeptText(TextKey key) : text(key.text), hash(key.hash) {}
};

/// Hashes and compares keys by the hash they carry: a look-up never hashes a text again.
struct TextKeyHash {
    using is_transparent = void;
    std::size_t operator()(const TextKey& key) const noexcept { return key.hash; }
    std::size_t operator()(const KeptText& key) const noexcept { return key.hash; }
};
struct TextKeyEqual {
    using is_transparent = void;
    template <class A, class B> bool operator()(const A& a, const B& b) const noexcept {
        return a.hash == b.hash && std::string_view(a.text) == std::string_view(b.text);
    }
};

/// Values by text, found by a TextKey.
template <class Value>
using ByTextKey = std::unordered_map<KeptText, Value, TextKeyHash, TextKeyEqual>;

} // namespace kvad::db
