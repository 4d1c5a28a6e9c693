#include "core/registrar_script.h"

namespace core {

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool IsDelimiter(char16_t c) {
    return IsSpace(c) || c == u'{' || c == u'}' || c == u'=' || c == u'\'';
}

class Parser {
public:
    explicit Parser(StringView text) : text_(text) {}

    RegistrarParseResult Run() {
        RegistrarScript script;
        while (SkipSpace()) {
            RegistryRootNode root;
            if (!ReadName(root.root)) return Fail(u"root key expected");
            if (!Expect(u'{')) return Fail(u"'{' expected after the root key");
            if (!ReadKeys(root.keys, 0)) return Fail(error_);
            script.roots.push_back(std::move(root));
        }
        return {std::move(script), {}};
    }

private:
    static constexpr int kMaxDepth = 64;  // far deeper than any registry layout we write

    RegistrarParseResult Fail(StringView message) {
        if (error_.empty()) error_ = String(message);
        return {std::nullopt, u"line " + DecimalText(Line()) + u": " + error_};
    }

    bool Error(StringView message) {
        if (error_.empty()) error_ = String(message);
        return false;
    }

    long long Line() const {
        long long line = 1;
        for (size_t i = 0; i < pos_ && i < text_.size(); ++i)
            if (text_[i] == u'\n') ++line;
        return line;
    }

    // Skips white space; false at the end of the text.
    bool SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
        return pos_ < text_.size();
    }

    bool Expect(char16_t c) {
        if (!SkipSpace() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    bool Peek(char16_t c) {
        return SkipSpace() && text_[pos_] == c;
    }

    // A bare word or a 'quoted' text with doubled quotes.
    bool ReadName(String& out) {
        out.clear();
        if (!SkipSpace()) return false;
        if (text_[pos_] == u'\'') {
            ++pos_;
            for (;;) {
                if (pos_ >= text_.size()) return Error(u"unterminated quoted text");
                char16_t c = text_[pos_++];
                if (c == u'\'') {
                    if (pos_ < text_.size() && text_[pos_] == u'\'') {
                        out += u'\'';
                        ++pos_;
                        continue;
                    }
                    return true;
                }
                out += c;
            }
        }
        if (text_[pos_] == u'{') {
            // A braced identifier such as a CLSID is one name: "{9AB4...}".
            size_t close = text_.find(u'}', pos_);
            if (close == StringView::npos) return Error(u"unterminated {name}");
            out = String(text_.substr(pos_, close + 1 - pos_));
            pos_ = close + 1;
            return true;
        }
        while (pos_ < text_.size() && !IsDelimiter(text_[pos_])) out += text_[pos_++];
        return !out.empty();
    }

    // "= s 'text'" after a key or value name.
    bool ReadStringValue(String& out) {
        if (!Expect(u'=')) return Error(u"'=' expected");
        String type;
        if (!ReadName(type)) return Error(u"value type expected");
        if (type != u"s") return Error(u"only string values (s) are supported");
        if (!Peek(u'\'')) return Error(u"quoted value expected");
        return ReadName(out) || Error(u"quoted value expected");
    }

    // The keys of a root, up to its closing brace.
    bool ReadKeys(std::vector<RegistryKeyNode>& keys, int depth) {
        for (;;) {
            if (!SkipSpace()) return Error(u"'}' expected before the end of the script");
            if (text_[pos_] == u'}') {
                ++pos_;
                return true;
            }
            if (!ReadOneKey(keys, depth)) return false;
        }
    }

    // The inside of a key's block: values and subkeys.
    bool ReadBlock(RegistryKeyNode& key, int depth) {
        if (depth > kMaxDepth) return Error(u"keys nested too deeply");
        for (;;) {
            if (!SkipSpace()) return Error(u"'}' expected before the end of the script");
            if (text_[pos_] == u'}') {
                ++pos_;
                return true;
            }
            size_t mark = pos_;
            String word;
            if (!ReadName(word)) return Error(u"key or value expected");
            if (word == u"val") {
                String name, data;
                if (!ReadName(name)) return Error(u"value name expected after val");
                if (!ReadStringValue(data)) return false;
                key.values.emplace_back(std::move(name), std::move(data));
                continue;
            }
            pos_ = mark;  // not a value: a subkey
            if (!ReadOneKey(key.subkeys, depth)) return false;
        }
    }

    // One key with its optional default value and block.
    bool ReadOneKey(std::vector<RegistryKeyNode>& keys, int depth) {
        if (depth > kMaxDepth) return Error(u"keys nested too deeply");
        RegistryKeyNode key;
        String word;
        if (!ReadName(word)) return Error(u"key name expected");
        if (word == u"NoRemove" || word == u"ForceRemove") {
            key.removal = word == u"NoRemove" ? RegistryKeyNode::Removal::NoRemove : RegistryKeyNode::Removal::ForceRemove;
            if (!ReadName(word)) return Error(u"key name expected");
        } else if (word == u"Delete") {
            return Error(u"Delete keys are not supported");
        }
        key.name = word;
        if (Peek(u'=')) {
            String value;
            if (!ReadStringValue(value)) return false;
            key.defaultValue = value;
        }
        if (Peek(u'{')) {
            ++pos_;
            if (!ReadBlock(key, depth + 1)) return false;
        }
        keys.push_back(std::move(key));
        return true;
    }

    StringView text_;
    size_t pos_ = 0;
    String error_;
};

} // namespace

RegistrarParseResult ParseRegistrarScript(StringView text, const std::vector<RegistrarReplacement>& replacements) {
    String expanded;
    expanded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') {
            expanded += text[i];
            continue;
        }
        size_t end = text.find(u'%', i + 1);
        if (end == StringView::npos) return {std::nullopt, u"unterminated %NAME% replacement"};
        StringView name = text.substr(i + 1, end - i - 1);
        if (name.empty()) {
            expanded += u'%';
        } else {
            const RegistrarReplacement* found = nullptr;
            for (const auto& r : replacements)
                if (r.first == name) found = &r;
            if (!found) return {std::nullopt, u"unknown replacement %" + String(name) + u"%"};
            expanded += found->second;
        }
        i = end;
    }
    return Parser(expanded).Run();
}

String QuoteForRegistrar(StringView text) {
    String out;
    for (char16_t c : text) {
        out += c;
        if (c == u'\'') out += u'\'';
    }
    return out;
}

} // namespace core
