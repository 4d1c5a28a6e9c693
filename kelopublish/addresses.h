#pragma once
// Addresses of a self-hosted blog: the XML-RPC endpoint from the account's
// server and endpoint texts, its discovery from the home page, URL parsing
// for the HTTP client, and the names and types of uploaded images.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelo {

// The server with a scheme ("https://" when it has none), trimmed of
// surrounding whitespace, ending in exactly one "/": the blog's home page.
// Empty for an empty server.
std::u16string HomePageAddress(std::u16string_view server);

// The server plus the endpoint joined with exactly one slash; a server with no
// scheme gets "https://". An endpoint that is itself an absolute http(s)
// address is taken as it stands. Empty when the endpoint (or the server) is
// empty: the caller then discovers the endpoint.
std::u16string EndpointAddress(std::u16string_view server, std::u16string_view endpoint);

// The endpoint used when discovery finds nothing.
inline constexpr std::u16string_view kDefaultEndpoint = u"xmlrpc.php";

// The href of the page's <link rel="EditURI" ...> (attributes in any order,
// double, single or no quotes, rel compared without case and as a list of
// words), entities decoded and resolved against `pageAddress` (when given).
// Links inside comments do not count. Empty when there is none.
std::u16string FindEditUri(std::string_view html, std::u16string_view pageAddress = {});

// The apiLink of the RSD document's <api name="MetaWeblog" ...>, resolved
// against `rsdAddress` (when given). Empty when there is none.
std::u16string FindMetaWeblogApiLink(std::string_view rsd, std::u16string_view rsdAddress = {});

struct ParsedUrl {
    bool https = false;
    std::u16string host;  // without brackets for an IPv6 literal
    uint16_t port = 0;    // 80 or 443 unless given
    std::u16string path;  // from the first "/" on, query included, fragment dropped; "/" at least
};

// Splits an absolute http or https address. False for any other scheme, an
// empty or malformed host, user information ("user@"), a port outside
// 1..65535, or control characters and spaces in the address.
bool ParseUrl(std::u16string_view url, ParsedUrl& parsed);

// `relative` resolved against the absolute address `base` (the usual rules
// for links: scheme, "//host", "/path", "?query", relative paths with "." and
// ".." segments). An absolute `relative` is returned as it stands.
std::u16string ResolveUrl(std::u16string_view base, std::u16string_view relative);

// The MIME type for an image path's extension (case ignored): png, jpg/jpeg,
// gif, bmp, tif/tiff. Empty for any other.
std::string MimeTypeFor(std::u16string_view path);

// The extension of a path's file name, without the dot; empty when none.
std::u16string_view FileExtension(std::u16string_view path);

// The body with each "%s" replaced by `url`, and nothing else changed (a
// "&#37;" stays as it is). The url goes into HTML attributes, so & " < > in it
// are written as character references.
std::u16string FillImageAddress(std::u16string_view body, std::u16string_view url);

// A media file name unique to the moment: "Velluma-YYYYMMDD-HHMMSS-mmm.EXT"
// (UTC), the extension lower-cased and cut to letters and digits; without a
// dot when nothing of it is left.
std::string UniqueMediaName(std::chrono::system_clock::time_point time, std::u16string_view extension);

} // namespace kelo
