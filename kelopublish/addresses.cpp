#include "kelopublish/addresses.h"

#include "core/text.h"

#include <cstdio>
#include <vector>

namespace kelo {

namespace {

using U16 = std::u16string;
using U16View = std::u16string_view;

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
char LowerA(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(U16View text, U16View prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerA(a[i]) != LowerA(b[i])) return false;
    return true;
}

bool IsSpace16(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

U16View Trim(U16View text) {
    while (!text.empty() && IsSpace16(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace16(text.back())) text.remove_suffix(1);
    return text;
}

bool HasHttpScheme(U16View text) {
    return StartsWithNoCase(text, u"http://") || StartsWithNoCase(text, u"https://");
}

// A scheme per the URL grammar: a letter, then letters, digits, + - ., then ':'.
bool HasScheme(U16View text) {
    if (text.empty() || !((text[0] >= u'a' && text[0] <= u'z') || (text[0] >= u'A' && text[0] <= u'Z'))) return false;
    for (size_t i = 1; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u':') return true;
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                        c == u'+' || c == u'-' || c == u'.';
        if (!ok) return false;
    }
    return false;
}

// "https://" + server unless it names its scheme; surrounding whitespace and
// trailing slashes dropped.
U16 ServerWithScheme(U16View server) {
    server = Trim(server);
    while (!server.empty() && server.back() == u'/') server.remove_suffix(1);
    if (server.empty()) return {};
    U16 out;
    if (server.find(u"://") == U16View::npos) out = u"https://";
    out += server;
    return out;
}

// --- A small tag scanner for HTML and RSD ------------------------------------

struct Attribute {
    std::string_view name, value;
};

// Decodes the character references of an attribute value: the named ones a
// page puts in an address, and numeric ones.
std::string DecodeReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        // A short window, so that many '&' without ';' stay linear.
        const size_t found = text.substr(i, 12).find(';');
        const size_t semi = found == std::string_view::npos ? found : i + found;
        if (semi == std::string_view::npos) {
            out += '&';
            continue;
        }
        const std::string_view name = text.substr(i + 1, semi - i - 1);
        uint32_t c = 0;
        if (name == "amp") c = '&';
        else if (name == "lt") c = '<';
        else if (name == "gt") c = '>';
        else if (name == "quot") c = '"';
        else if (name == "apos") c = '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            for (size_t k = hex ? 2 : 1; k < name.size() && c <= 0x10FFFF; ++k) {
                const char d = name[k];
                int digit = -1;
                if (d >= '0' && d <= '9') digit = d - '0';
                else if (hex && d >= 'a' && d <= 'f') digit = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F') digit = d - 'A' + 10;
                if (digit < 0) { c = 0; break; }
                c = c * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
            }
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0;
        }
        if (c == 0) {
            out += '&';
            continue;
        }
        core::AppendUtf8(out, c);
        i = semi;
    }
    return out;
}

// Calls `onTag(name, attributes)` for each start tag of the document, skipping
// comments. Attribute values are raw (references not decoded). Returns early
// when onTag returns true.
template <class OnTag>
void ScanTags(std::string_view doc, OnTag onTag) {
    std::vector<Attribute> attributes;
    size_t i = 0;
    while ((i = doc.find('<', i)) != std::string_view::npos) {
        if (doc.compare(i, 4, "<!--") == 0) {
            const size_t end = doc.find("-->", i + 4);
            if (end == std::string_view::npos) return;
            i = end + 3;
            continue;
        }
        ++i;
        size_t p = i;
        while (p < doc.size() && !IsSpace(doc[p]) && doc[p] != '>' && doc[p] != '/') ++p;
        const std::string_view name = doc.substr(i, p - i);
        if (name.empty() || name[0] == '!' || name[0] == '?') continue;
        attributes.clear();
        // Attributes until '>'.
        while (p < doc.size() && doc[p] != '>') {
            if (IsSpace(doc[p]) || doc[p] == '/') {
                ++p;
                continue;
            }
            const size_t nameStart = p;
            while (p < doc.size() && !IsSpace(doc[p]) && doc[p] != '=' && doc[p] != '>' && doc[p] != '/') ++p;
            const std::string_view attrName = doc.substr(nameStart, p - nameStart);
            size_t q = p;
            while (q < doc.size() && IsSpace(doc[q])) ++q;
            std::string_view value;
            if (q < doc.size() && doc[q] == '=') {
                ++q;
                while (q < doc.size() && IsSpace(doc[q])) ++q;
                if (q < doc.size() && (doc[q] == '"' || doc[q] == '\'')) {
                    const size_t close = doc.find(doc[q], q + 1);
                    if (close == std::string_view::npos) return;
                    value = doc.substr(q + 1, close - q - 1);
                    p = close + 1;
                } else {
                    const size_t start = q;
                    while (q < doc.size() && !IsSpace(doc[q]) && doc[q] != '>') ++q;
                    value = doc.substr(start, q - start);
                    p = q;
                }
            }
            if (!attrName.empty()) attributes.push_back({attrName, value});
        }
        i = p;
        if (onTag(name, attributes)) return;
    }
}

std::string_view AttributeValue(const std::vector<Attribute>& attributes, std::string_view name) {
    for (const Attribute& a : attributes)
        if (EqualNoCase(a.name, name)) return a.value;
    return {};
}
bool HasAttribute(const std::vector<Attribute>& attributes, std::string_view name) {
    for (const Attribute& a : attributes)
        if (EqualNoCase(a.name, name)) return true;
    return false;
}

// rel="alternate EditURI" holds the word EditURI.
bool RelHoldsWord(std::string_view rel, std::string_view word) {
    size_t i = 0;
    while (i < rel.size()) {
        while (i < rel.size() && IsSpace(rel[i])) ++i;
        size_t end = i;
        while (end < rel.size() && !IsSpace(rel[end])) ++end;
        if (end > i && EqualNoCase(rel.substr(i, end - i), word)) return true;
        i = end;
    }
    return false;
}

U16 Resolved(std::string_view rawHref, U16View base) {
    const U16 href(Trim(core::FromUtf8(DecodeReferences(rawHref))));
    if (href.empty()) return {};
    return base.empty() ? href : ResolveUrl(base, href);
}

// --- URL pieces ---------------------------------------------------------------

struct UrlParts {
    U16View scheme, authority, path, query;  // query with its '?'
    bool hasAuthority = false;
};

UrlParts Split(U16View url) {
    UrlParts parts;
    if (const size_t hash = url.find(u'#'); hash != U16View::npos) url = url.substr(0, hash);
    if (HasScheme(url)) {
        const size_t colon = url.find(u':');
        parts.scheme = url.substr(0, colon);
        url.remove_prefix(colon + 1);
    }
    if (url.substr(0, 2) == u"//") {
        parts.hasAuthority = true;
        url.remove_prefix(2);
        const size_t end = url.find_first_of(u"/?");
        parts.authority = url.substr(0, end);
        url = end == U16View::npos ? U16View() : url.substr(end);
    }
    const size_t q = url.find(u'?');
    parts.path = url.substr(0, q);
    if (q != U16View::npos) parts.query = url.substr(q);
    return parts;
}

// RFC 3986's remove_dot_segments.
U16 RemoveDotSegments(U16View path) {
    U16 out;
    while (!path.empty()) {
        if (path.substr(0, 3) == u"../") path.remove_prefix(3);
        else if (path.substr(0, 2) == u"./") path.remove_prefix(2);
        else if (path.substr(0, 3) == u"/./") path.remove_prefix(2);
        else if (path == u"/.") path = u"/";
        else if (path.substr(0, 4) == u"/../" || path == u"/..") {
            path = path.size() == 3 ? U16View(u"/") : path.substr(3);
            const size_t last = out.rfind(u'/');
            out.resize(last == U16::npos ? 0 : last);
        } else if (path == u"." || path == u"..") path = {};
        else {
            const size_t next = path.find(u'/', 1);
            const U16View segment = path.substr(0, next);
            out += segment;
            path.remove_prefix(segment.size());
        }
    }
    return out;
}

} // namespace

U16 HomePageAddress(U16View server) {
    U16 out = ServerWithScheme(server);
    if (!out.empty()) out += u'/';
    return out;
}

U16 EndpointAddress(U16View server, U16View endpoint) {
    endpoint = Trim(endpoint);
    if (HasHttpScheme(endpoint)) return U16(endpoint);
    while (!endpoint.empty() && endpoint.front() == u'/') endpoint.remove_prefix(1);
    if (endpoint.empty()) return {};
    U16 out = ServerWithScheme(server);
    if (out.empty()) return {};
    out += u'/';
    out += endpoint;
    return out;
}

U16 FindEditUri(std::string_view html, U16View pageAddress) {
    U16 found;
    ScanTags(html, [&](std::string_view name, const std::vector<Attribute>& attributes) {
        if (!EqualNoCase(name, "link")) return false;
        if (!RelHoldsWord(AttributeValue(attributes, "rel"), "EditURI")) return false;
        if (!HasAttribute(attributes, "href")) return false;
        found = Resolved(AttributeValue(attributes, "href"), pageAddress);
        return !found.empty();
    });
    return found;
}

U16 FindMetaWeblogApiLink(std::string_view rsd, U16View rsdAddress) {
    U16 found;
    ScanTags(rsd, [&](std::string_view name, const std::vector<Attribute>& attributes) {
        if (!EqualNoCase(name, "api")) return false;
        if (!EqualNoCase(AttributeValue(attributes, "name"), "MetaWeblog")) return false;
        found = Resolved(AttributeValue(attributes, "apiLink"), rsdAddress);
        return !found.empty();
    });
    return found;
}

bool ParseUrl(U16View url, ParsedUrl& parsed) {
    for (char16_t c : url)
        if (c <= u' ' || c == 0x7F) return false;
    ParsedUrl out;
    if (StartsWithNoCase(url, u"https://")) {
        out.https = true;
        url.remove_prefix(8);
    } else if (StartsWithNoCase(url, u"http://")) {
        url.remove_prefix(7);
    } else {
        return false;
    }
    const size_t end = url.find_first_of(u"/?#");
    U16View authority = url.substr(0, end);
    U16View rest = end == U16View::npos ? U16View() : url.substr(end);
    if (authority.find(u'@') != U16View::npos || authority.find(u'\\') != U16View::npos) return false;

    U16View host;
    U16View port;
    if (!authority.empty() && authority.front() == u'[') {
        const size_t close = authority.find(u']');
        if (close == U16View::npos || close < 2) return false;
        host = authority.substr(1, close - 1);
        for (char16_t c : host)
            if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' ||
                  c == u'.'))
                return false;
        U16View after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != u':') return false;
            port = after.substr(1);
            if (port.empty()) return false;
        }
    } else {
        const size_t colon = authority.find(u':');
        host = authority.substr(0, colon);
        if (colon != U16View::npos) {
            port = authority.substr(colon + 1);
            if (port.empty()) return false;
        }
        if (host.empty() || host.front() == u'.' || host.front() == u'-') return false;
        for (char16_t c : host)
            if (c == u'[' || c == u']' || c == u'%' || c == u'<' || c == u'>' || c == u'"') return false;
    }
    if (host.empty()) return false;
    out.port = out.https ? 443 : 80;
    if (!port.empty()) {
        if (port.size() > 5) return false;
        uint32_t value = 0;
        for (char16_t c : port) {
            if (c < u'0' || c > u'9') return false;
            value = value * 10 + (c - u'0');
        }
        if (value < 1 || value > 65535) return false;
        out.port = static_cast<uint16_t>(value);
    }
    out.host.assign(host);
    if (const size_t hash = rest.find(u'#'); hash != U16View::npos) rest = rest.substr(0, hash);
    if (rest.empty() || rest.front() != u'/') out.path = u"/";
    out.path += rest;
    parsed = std::move(out);
    return true;
}

U16 ResolveUrl(U16View base, U16View relative) {
    relative = Trim(relative);
    const UrlParts r = Split(relative);
    if (!r.scheme.empty()) return U16(relative.substr(0, relative.find(u'#')));
    const UrlParts b = Split(base);

    U16 path;
    U16View query;
    U16View authority = b.authority;
    bool hasAuthority = b.hasAuthority;
    if (r.hasAuthority) {
        authority = r.authority;
        hasAuthority = true;
        path = RemoveDotSegments(r.path);
        query = r.query;
    } else if (r.path.empty()) {
        path.assign(b.path);
        query = r.query.empty() ? b.query : r.query;
    } else if (r.path.front() == u'/') {
        path = RemoveDotSegments(r.path);
        query = r.query;
    } else {
        U16 merged;
        if (b.hasAuthority && b.path.empty()) {
            merged = u"/";
        } else {
            const size_t slash = b.path.rfind(u'/');
            if (slash != U16View::npos) merged.assign(b.path.substr(0, slash + 1));
        }
        merged += r.path;
        path = RemoveDotSegments(merged);
        query = r.query;
    }
    U16 out;
    if (!b.scheme.empty()) {
        out += b.scheme;
        out += u':';
    }
    if (hasAuthority) {
        out += u"//";
        out += authority;
        if (!path.empty() && path.front() != u'/') out += u'/';
        if (path.empty()) path = u"/";
    }
    out += path;
    out += query;
    return out;
}

std::u16string_view FileExtension(U16View path) {
    const size_t slash = path.find_last_of(u"/\\");
    const U16View name = slash == U16View::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind(u'.');
    if (dot == U16View::npos) return {};
    return name.substr(dot + 1);
}

std::string MimeTypeFor(U16View path) {
    U16 ext(FileExtension(path));
    for (char16_t& c : ext) c = Lower(c);
    if (ext == u"png") return "image/png";
    if (ext == u"jpg" || ext == u"jpeg") return "image/jpeg";
    if (ext == u"gif") return "image/gif";
    if (ext == u"bmp") return "image/bmp";
    if (ext == u"tif" || ext == u"tiff") return "image/tiff";
    return {};
}

U16 FillImageAddress(U16View body, U16View url) {
    U16 attribute;
    for (char16_t c : url) {
        switch (c) {
        case u'&': attribute += u"&amp;"; break;
        case u'"': attribute += u"&quot;"; break;
        case u'<': attribute += u"&lt;"; break;
        case u'>': attribute += u"&gt;"; break;
        default: attribute += c;
        }
    }
    U16 out(body);
    core::ReplaceAll(out, u"%s", attribute);
    return out;
}

std::string UniqueMediaName(std::chrono::system_clock::time_point time, U16View extension) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    long long days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    const long long msOfDay = ms - days * 86400000;
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "Velluma-%04lld%02lld%02lld-%02lld%02lld%02lld-%03lld", year, month, day,
                  msOfDay / 3600000, msOfDay / 60000 % 60, msOfDay / 1000 % 60, msOfDay % 1000);
    std::string name(stamp);
    std::string ext;
    for (char16_t c : extension) {
        const char16_t l = Lower(c);
        if ((l >= u'a' && l <= u'z') || (l >= u'0' && l <= u'9')) ext += static_cast<char>(l);
    }
    if (!ext.empty()) name += '.' + ext;
    return name;
}

} // namespace kelo
