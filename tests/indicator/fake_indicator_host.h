#pragma once

#include <string>
#include <vector>

#include "widgets/indicator/indicator_model.h"

namespace vesmera {

// A window for the model alone: it records every request in order and, like a window system,
// reports a changed size back to the model at once.
class FakeIndicatorHost : public IIndicatorHost {
public:
    FakeIndicatorHost() : model(*this) {}

    int ControlWidth() const override { return width; }
    int ControlHeight() const override { return height; }
    void SetControlSize(int w, int h) override {
        log.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
        if (w == width && h == height)
            return;
        width = w;
        height = h;
        model.HandleSize();
    }
    void UpdateWindowRegion() override { log.push_back("region"); }
    void Rebuild() override {
        log.push_back("rebuild");
        ++rebuilds;
    }
    void Invalidate() override { log.push_back("invalidate"); }
    void InvalidateParent() override { log.push_back("invalidate parent"); }
    void PostRefresh() override {
        log.push_back("post refresh");
        ++refreshes;
    }
    void SetOpaque(bool o) override {
        log.push_back(o ? "opaque" : "not opaque");
        opaque = o;
    }
    void PrepareMaterials() override { log.push_back("prepare materials"); }

    // The window system resizes the control, as an owner's setGeometry would.
    void Resize(int w, int h) {
        if (w == width && h == height)
            return;
        width = w;
        height = h;
        model.HandleSize();
    }
    // Delivers the queued refresh messages.
    void DeliverRefreshes() {
        while (refreshes > delivered) {
            ++delivered;
            model.HandleRefresh();
        }
    }

    int width = 0;
    int height = 0;
    int rebuilds = 0;
    int refreshes = 0;
    int delivered = 0;
    bool opaque = true;
    std::vector<std::string> log;
    TIndicatorModel model;
};

} // namespace vesmera
