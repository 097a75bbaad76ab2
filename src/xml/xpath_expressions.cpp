#include "xpath_expressions.h"

#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "kvad_nso/errors.h"
#include "libxml_handles.h"
#include "raw_text.h"

namespace kvad::xml {

namespace {

/// Compiled expressions kept per thread, and idle ones kept for the process; the loader uses a
/// few hundred distinct paths.
constexpr std::size_t kMaxCachedExpressions = 1024;

const char* XPathErrorText(int code) noexcept {
    switch (code) {
    case XML_XPATH_NUMBER_ERROR:
        return "numero non valido";
    case XML_XPATH_UNFINISHED_LITERAL_ERROR:
    case XML_XPATH_START_LITERAL_ERROR:
        return "stringa non chiusa";
    case XML_XPATH_VARIABLE_REF_ERROR:
    case XML_XPATH_UNDEF_VARIABLE_ERROR:
        return "variabile non definita";
    case XML_XPATH_INVALID_PREDICATE_ERROR:
        return "predicato non valido";
    case XML_XPATH_EXPR_ERROR:
        return "espressione non valida";
    case XML_XPATH_UNCLOSED_ERROR:
        return "parentesi non chiusa";
    case XML_XPATH_UNKNOWN_FUNC_ERROR:
        return "funzione sconosciuta";
    case XML_XPATH_INVALID_OPERAND:
    case XML_XPATH_INVALID_TYPE:
        return "operando di tipo non valido";
    case XML_XPATH_INVALID_ARITY:
        return "numero di argomenti errato";
    case XML_XPATH_MEMORY_ERROR:
        return "memoria insufficiente";
    case XML_XPATH_UNDEF_PREFIX_ERROR:
        return "prefisso di namespace non registrato";
    case XML_XPATH_ENCODING_ERROR:
    case XML_XPATH_INVALID_CHAR_ERROR:
        return "carattere non valido";
    default:
        return nullptr;
    }
}

/// Lets the expression cache be searched with a string_view.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>{}(text);
    }
};

/// Compiled expressions no thread is using, for the threads to come. libxml2 writes into a
/// compiled expression while evaluating it (it remembers the functions it looked up), so an
/// expression is used by one thread at a time: each thread keeps the ones it has taken, and
/// gives them back here when it ends.
class IdleExpressions {
  public:
    /// The process's pool; never destroyed, so that threads ending late can still give back.
    static IdleExpressions& Instance() {
        static auto* const pool = new IdleExpressions;
        return *pool;
    }

    /// An idle compiled form of the expression, or null.
    CompExprPtr Take(std::string_view expression) {
        const std::lock_guard lock(mutex_);
        const auto found = idle_.find(expression);
        if (found == idle_.end() || found->second.empty()) {
            return nullptr;
        }
        CompExprPtr comp = std::move(found->second.back());
        found->second.pop_back();
        --count_;
        return comp;
    }

    void GiveBack(std::string expression, CompExprPtr comp) {
        const std::lock_guard lock(mutex_);
        if (count_ >= kMaxCachedExpressions) {
            return; // freed by the caller's pointer
        }
        idle_[std::move(expression)].push_back(std::move(comp));
        ++count_;
    }

  private:
    IdleExpressions() = default;
    std::mutex mutex_;
    std::unordered_map<std::string, std::vector<CompExprPtr>, StringHash, std::equal_to<>> idle_;
    std::size_t count_ = 0;
};

bool IsNameStart(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c) noexcept {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

/// Reads an ASCII NCName at `pos`; empty when there is none.
std::string_view ReadNcName(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    if (pos < text.size() && IsNameStart(text[pos])) {
        ++pos;
        while (pos < text.size() && IsNameChar(text[pos])) {
            ++pos;
        }
    }
    return text.substr(start, pos - start);
}

/// The steps of an expression written exactly as prefix:name('/'prefix:name)*, with nothing
/// else (no blanks, axes, predicates or functions); nullopt for any other expression.
std::optional<ChildPath> ParseChildPath(std::string_view expression) {
    ChildPath path;
    std::size_t pos = 0;
    while (true) {
        const std::string_view prefix = ReadNcName(expression, pos);
        if (prefix.empty() || pos >= expression.size() || expression[pos] != ':') {
            return std::nullopt;
        }
        ++pos;
        const std::string_view name = ReadNcName(expression, pos);
        if (name.empty()) {
            return std::nullopt;
        }
        path.steps.push_back({std::string(prefix), std::string(name)});
        if (pos == expression.size()) {
            return path;
        }
        if (expression[pos] != '/') {
            return std::nullopt;
        }
        ++pos;
    }
}

/// The compiled expressions of this thread, by text: an expression is compiled once and
/// evaluated against any document, whose own prefix bindings resolve its names.
class ThreadExpressions {
  public:
    ThreadExpressions() = default;
    ThreadExpressions(const ThreadExpressions&) = delete;
    ThreadExpressions& operator=(const ThreadExpressions&) = delete;
    ThreadExpressions(ThreadExpressions&&) = delete;
    ThreadExpressions& operator=(ThreadExpressions&&) = delete;
    ~ThreadExpressions() {
        for (auto& [expression, comp] : owned_) {
            IdleExpressions::Instance().GiveBack(expression, std::move(comp));
        }
    }

    /// The compiled form of an expression. Throws VbError when it does not compile.
    xmlXPathCompExpr* Compile(std::string_view expression) {
        if (const auto found = owned_.find(expression); found != owned_.end()) {
            return found->second.get();
        }
        std::string key(expression);
        CompExprPtr comp = IdleExpressions::Instance().Take(key);
        if (!comp) {
            if (!context_) {
                context_.reset(xmlXPathNewContext(nullptr));
                if (!context_) {
                    throw VbError(kXPathErrorNumber,
                                  "Espressione XPath \"" + key + "\": memoria insufficiente");
                }
                context_->error = OnXPathError;
            }
            std::string error;
            context_->userData = &error;
            const GenericErrorSilencer silencer;
            comp.reset(xmlXPathCtxtCompile(context_.get(), XmlChars(key.c_str())));
            context_->userData = nullptr;
            if (!comp) {
                throw VbError(kXPathErrorNumber,
                              "Espressione XPath non valida \"" + key +
                                  "\": " + (error.empty() ? "errore di sintassi" : error));
            }
        }
        if (owned_.size() >= kMaxCachedExpressions) {
            owned_.clear(); // no caller keeps a compiled expression between calls
        }
        return owned_.emplace(std::move(key), std::move(comp)).first->second.get();
    }

    /// The expression as a path of child steps, or null when it is any other expression.
    const ChildPath* PathOf(std::string_view expression) {
        auto found = paths_.find(expression);
        if (found == paths_.end()) {
            if (paths_.size() >= kMaxCachedExpressions) {
                paths_.clear();
            }
            found = paths_.emplace(std::string(expression), ParseChildPath(expression)).first;
        }
        return found->second ? &*found->second : nullptr;
    }

  private:
    XPathContextPtr context_; ///< for compiling only: no document, no prefixes
    std::unordered_map<std::string, CompExprPtr, StringHash, std::equal_to<>> owned_;
    std::unordered_map<std::string, std::optional<ChildPath>, StringHash, std::equal_to<>> paths_;
};

thread_local ThreadExpressions tExpressions;

} // namespace

void OnXPathError(void* userData, xmlErrorPtr error) {
    auto* message = static_cast<std::string*>(userData);
    if (error == nullptr || !message->empty()) {
        return;
    }
    const char* text = XPathErrorText(error->code);
    *message = text != nullptr             ? std::string(text)
               : error->message != nullptr ? TrimXmlSpace(error->message)
                                           : "errore " + std::to_string(error->code);
    if (error->str1 != nullptr) {
        *message += " (posizione " + std::to_string(error->int1) + ")";
    }
}

std::vector<std::pair<std::string, std::string>> ParseDeclarations(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> result;
    std::size_t pos = 0;
    const auto skipSpace = [&] {
        while (pos < text.size() && IsXmlSpace(text[pos])) {
            ++pos;
        }
    };
    const auto skipEntry = [&] {
        while (pos < text.size() && !IsXmlSpace(text[pos])) {
            ++pos;
        }
    };
    while (true) {
        skipSpace();
        if (pos >= text.size()) {
            break;
        }
        if (text.substr(pos, 6) != "xmlns:") {
            skipEntry();
            continue;
        }
        pos += 6;
        const std::size_t nameStart = pos;
        while (pos < text.size() && text[pos] != '=' && !IsXmlSpace(text[pos]) &&
               text[pos] != ':' && text[pos] != '\'' && text[pos] != '"') {
            ++pos;
        }
        std::string prefix(text.substr(nameStart, pos - nameStart));
        skipSpace();
        if (prefix.empty() || pos >= text.size() || text[pos] != '=') {
            skipEntry();
            continue;
        }
        ++pos;
        skipSpace();
        if (pos >= text.size() || (text[pos] != '\'' && text[pos] != '"')) {
            skipEntry();
            continue;
        }
        const char quote = text[pos++];
        const std::size_t close = text.find(quote, pos);
        if (close == std::string_view::npos) {
            break;
        }
        result.emplace_back(std::move(prefix), std::string(text.substr(pos, close - pos)));
        pos = close + 1;
    }
    return result;
}

xmlXPathCompExpr* CompiledExpression(std::string_view expression) {
    return tExpressions.Compile(expression);
}

const ChildPath* ChildPathOf(std::string_view expression) {
    return tExpressions.PathOf(expression);
}

} // namespace kvad::xml
