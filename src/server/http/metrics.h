#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "server/reading.h"

namespace vesmera {

enum class MetricType { Counter, Gauge };

struct MetricSample {
    std::vector<std::pair<std::string, std::string>> labels; // name, value
    double value = 0;
};

// The server's metrics in the Prometheus text format. Each part of the server adds the
// families it knows as sources read at each scrape; several sources may feed one family (the
// clients of each protocol), which is then written once with its HELP and TYPE.
class Metrics {
public:
    using Source = std::function<void(std::vector<MetricSample>& samples)>;

    void Add(const std::string& name, const std::string& help, MetricType type, Source source);
    std::string Render() const;

private:
    struct Family {
        std::string name;
        std::string help;
        MetricType type;
        std::vector<Source> sources;
    };
    std::vector<Family> families_;
};

// Counts by one label's value, e.g. requests by status code.
class LabelledCounter {
public:
    void Add(const std::string& value, std::uint64_t n = 1) { counts_[value] += n; }
    std::uint64_t Count(const std::string& value) const;
    // A source for Metrics, the label named `label`.
    Metrics::Source Source(std::string label) const;

private:
    std::map<std::string, std::uint64_t> counts_;
};

// The terminals' own families: up, status, polls by result, time of the last answer.
void AddTerminalMetrics(Metrics& metrics, const ITerminalReadings& terminals);

} // namespace vesmera
