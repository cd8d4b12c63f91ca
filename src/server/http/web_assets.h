#pragma once

#include <string_view>
#include <vector>

namespace vesmera {

// One file of the browser page, built into the server from src/server/web.
struct WebAsset {
    std::string_view path;        // as requested: "/", "/app.js", "/app.css"
    std::string_view contentType; // with its charset
    std::string_view body;
};

const std::vector<WebAsset>& WebAssets();
// The file served at path, or none.
const WebAsset* FindWebAsset(std::string_view path);

// The page allows only its own origin: its script, style and event stream, nothing inline,
// and no framing by another site.
inline constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

} // namespace vesmera
