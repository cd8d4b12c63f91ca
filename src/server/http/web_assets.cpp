#include "server/http/web_assets.h"

namespace vesmera {

const WebAsset* FindWebAsset(std::string_view path) {
    for (const WebAsset& asset : WebAssets())
        if (asset.path == path)
            return &asset;
    return nullptr;
}

} // namespace vesmera
