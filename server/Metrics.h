#pragma once
// TServerMetrics: what the chart server counts and times, written in the
// Prometheus text exposition format (version 0.0.4) at /metrics.
//
// Every figure is kept since the server started: answers by status and
// format, the duration of requests, of renderings and of database reads as
// histograms, cache hits and misses, database errors, requests refused by
// the rate limit or for their signature. Gauges (cache bytes and entries,
// requests in flight) are read when the text is written. Safe to use from
// several threads.

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace plotvane {

class TServerMetrics {
public:
    // The upper bounds of the duration histograms' buckets, in seconds.
    static constexpr std::array<double, 14> Bounds = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                      0.1,    0.25,  0.5,    1,     2.5,  5,     10};

    // One answered request: Format is the chart's format ("gif", ...) or
    // "none" for other paths.
    void CountAnswer(std::string_view Format, int Status, double Seconds);
    void ObserveRender(double Seconds);
    void ObserveQuery(double Seconds);
    void CountCacheHit();
    void CountCacheMiss();
    void CountDatabaseError();
    void CountRateLimited();
    void CountSignatureRefused();
    // A big render refused with 503 because the render budget was full.
    void CountBudgetRefused();

    // The gauges' values of the moment.
    struct TGauges {
        std::size_t CacheBytes = 0;
        std::size_t CacheEntries = 0;
        int InFlight = 0;
    };
    // The whole exposition text.
    std::string Text(const TGauges& Gauges) const;

private:
    struct THistogram {
        std::array<std::uint64_t, Bounds.size()> Buckets{};  // not cumulative; summed when written
        std::uint64_t Count = 0;
        double Sum = 0;
        void Observe(double Seconds);
    };
    static void WriteHistogram(std::string& Out, std::string_view Name, std::string_view Help, const THistogram& H);

    mutable std::mutex FLock;
    std::map<std::pair<std::string, int>, std::uint64_t> FAnswers;  // (format, status)
    THistogram FRequests, FRenders, FQueries;
    std::uint64_t FCacheHits = 0, FCacheMisses = 0, FDatabaseErrors = 0, FRateLimited = 0, FSignatureRefused = 0,
                  FBudgetRefused = 0;
};

}  // namespace plotvane
