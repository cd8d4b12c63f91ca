#pragma once

#include <cstdint>
#include <vector>

namespace vesmera {

// The stored enumerations of the indicator; their ordinals are the stored values.
enum TZyrelIndicatorKind : std::uint8_t { ik7segment = 0, ik5x7matrix = 1, ik9segment = 2 };
enum TZyrelBevelKind : std::uint8_t { bkUP = 0, bkDown = 1, bkNone = 2 };
enum TZyrelIndicatorStyle : std::uint8_t { isThin = 0, isNormal = 1, isThick = 2 };
enum TZyrelMouseAction : std::uint8_t { maNone = 0, maColor = 1, maWidth = 2, maBoth = 3 };
enum TZyrelTransparentMode : std::uint8_t { tmNone = 0, tmBackOnly = 1, tmAll = 2 };
enum TZyrelColorScheme : std::uint8_t {
    csSilver = 0,
    csInvSilver = 1,
    csWhite = 2,
    csBlack = 3,
    csPlasma = 4,
    csInvPlasma = 5,
    csKelvo = 6
};
enum TZyrelMaterialShadowMode : std::uint8_t { msmDark = 0, msmLight = 1, msmNone = 2 };
enum TZyrelMaterialMode : std::uint8_t { mmStretch = 0, mmTile = 1 };

struct TPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

using Tpoints = std::vector<TPoint>;
using Tintegers = std::vector<std::int32_t>;

// A set of polygons kept the way region functions take them: all vertices in one array, the
// vertex count of each polygon in another, and the number of polygons.
struct TPolyList {
    Tpoints vertices;
    Tintegers counts;
    int n = 0;

    void Append(const TPoint* points, int count) {
        vertices.insert(vertices.end(), points, points + count);
        counts.push_back(count);
        ++n;
    }
    void Append(const TPolyList& other) {
        vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
        counts.insert(counts.end(), other.counts.begin(), other.counts.end());
        n += other.n;
    }
    void Clear() {
        vertices.clear();
        counts.clear();
        n = 0;
    }
};

} // namespace vesmera
