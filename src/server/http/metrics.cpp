#include "server/http/metrics.h"

#include <charconv>

namespace vesmera {

namespace {

// Label values escape backslash, double quote and line feed; HELP texts the first and last.
std::string Escaped(const std::string& text, bool quotes) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' && quotes)
            out += "\\\"";
        else
            out += c;
    }
    return out;
}

std::string Number(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace

void Metrics::Add(const std::string& name, const std::string& help, MetricType type,
                  Source source) {
    for (auto& family : families_)
        if (family.name == name) {
            family.sources.push_back(std::move(source));
            return;
        }
    families_.push_back({name, help, type, {std::move(source)}});
}

std::string Metrics::Render() const {
    std::string out;
    std::vector<MetricSample> samples;
    for (const auto& family : families_) {
        out += "# HELP " + family.name + " " + Escaped(family.help, false) + "\n";
        out += "# TYPE " + family.name +
               (family.type == MetricType::Counter ? " counter\n" : " gauge\n");
        samples.clear();
        for (const auto& source : family.sources)
            source(samples);
        for (const auto& sample : samples) {
            out += family.name;
            if (!sample.labels.empty()) {
                out += '{';
                for (std::size_t i = 0; i < sample.labels.size(); ++i) {
                    if (i > 0)
                        out += ',';
                    out += sample.labels[i].first + "=\"" + Escaped(sample.labels[i].second, true) +
                           '"';
                }
                out += '}';
            }
            out += ' ' + Number(sample.value) + '\n';
        }
    }
    return out;
}

std::uint64_t LabelledCounter::Count(const std::string& value) const {
    const auto it = counts_.find(value);
    return it == counts_.end() ? 0 : it->second;
}

Metrics::Source LabelledCounter::Source(std::string label) const {
    return [this, label = std::move(label)](std::vector<MetricSample>& samples) {
        for (const auto& [value, count] : counts_)
            samples.push_back({{{label, value}}, static_cast<double>(count)});
    };
}

void AddTerminalMetrics(Metrics& metrics, const ITerminalReadings& terminals) {
    metrics.Add(
        "vesmera_terminal_up", "Whether the terminal answers its polls (1) or not (0).",
        MetricType::Gauge, [&terminals](std::vector<MetricSample>& samples) {
            for (const auto& r : terminals.Readings())
                samples.push_back({{{"terminal", r.terminal}}, IsLinked(r.status) ? 1.0 : 0.0});
        });
    metrics.Add("vesmera_terminal_status", "The terminal's status: 1 for the one it is in.",
                MetricType::Gauge, [&terminals](std::vector<MetricSample>& samples) {
                    for (const auto& r : terminals.Readings())
                        for (const auto status : kReadingStatuses)
                            samples.push_back({{{"terminal", r.terminal},
                                                {"status", std::string(StatusName(status))}},
                                               status == r.status ? 1.0 : 0.0});
                });
    metrics.Add("vesmera_polls_total", "Polls of the terminal, by result.", MetricType::Counter,
                [&terminals](std::vector<MetricSample>& samples) {
                    const auto readings = terminals.Readings();
                    const auto polls = terminals.Polls();
                    for (std::size_t i = 0; i < readings.size() && i < polls.size(); ++i) {
                        samples.push_back({{{"terminal", readings[i].terminal}, {"result", "ok"}},
                                           static_cast<double>(polls[i].ok)});
                        samples.push_back(
                            {{{"terminal", readings[i].terminal}, {"result", "failed"}},
                             static_cast<double>(polls[i].failed)});
                    }
                });
    metrics.Add("vesmera_last_reading_timestamp_seconds",
                "When the terminal last answered a poll, in seconds since the epoch.",
                MetricType::Gauge, [&terminals](std::vector<MetricSample>& samples) {
                    for (const auto& r : terminals.Readings())
                        if (r.answered)
                            samples.push_back({{{"terminal", r.terminal}},
                                               static_cast<double>(r.answered->wallMs) / 1000.0});
                });
}

} // namespace vesmera
