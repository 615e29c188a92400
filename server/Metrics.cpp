#include "server/Metrics.h"

#include <cstdio>

namespace plotvane {

namespace {

std::string Number(double V) {
    char Text[40];
    std::snprintf(Text, sizeof Text, "%.17g", V);
    return Text;
}

void WriteHead(std::string& Out, std::string_view Name, std::string_view Type, std::string_view Help) {
    Out += "# HELP ";
    Out += Name;
    Out += ' ';
    Out += Help;
    Out += "\n# TYPE ";
    Out += Name;
    Out += ' ';
    Out += Type;
    Out += '\n';
}

void WriteSingle(std::string& Out, std::string_view Name, std::string_view Type, std::string_view Help,
                 double Value) {
    WriteHead(Out, Name, Type, Help);
    Out += Name;
    Out += ' ';
    Out += Number(Value);
    Out += '\n';
}

}  // namespace

void TServerMetrics::THistogram::Observe(double Seconds) {
    std::size_t I = 0;
    while (I < Bounds.size() && Seconds > Bounds[I]) ++I;
    if (I < Bounds.size()) ++Buckets[I];
    ++Count;
    Sum += Seconds;
}

void TServerMetrics::CountAnswer(std::string_view Format, int Status, double Seconds) {
    std::lock_guard<std::mutex> Lock(FLock);
    ++FAnswers[{std::string(Format), Status}];
    FRequests.Observe(Seconds);
}

void TServerMetrics::ObserveRender(double Seconds) {
    std::lock_guard<std::mutex> Lock(FLock);
    FRenders.Observe(Seconds);
}

void TServerMetrics::ObserveQuery(double Seconds) {
    std::lock_guard<std::mutex> Lock(FLock);
    FQueries.Observe(Seconds);
}

#define PLOTVANE_COUNT(Method, Field)           \
    void TServerMetrics::Method() {             \
        std::lock_guard<std::mutex> Lock(FLock); \
        ++Field;                                \
    }
PLOTVANE_COUNT(CountCacheHit, FCacheHits)
PLOTVANE_COUNT(CountCacheMiss, FCacheMisses)
PLOTVANE_COUNT(CountDatabaseError, FDatabaseErrors)
PLOTVANE_COUNT(CountRateLimited, FRateLimited)
PLOTVANE_COUNT(CountBudgetRefused, FBudgetRefused)
PLOTVANE_COUNT(CountSignatureRefused, FSignatureRefused)
#undef PLOTVANE_COUNT

void TServerMetrics::WriteHistogram(std::string& Out, std::string_view Name, std::string_view Help,
                                    const THistogram& H) {
    WriteHead(Out, Name, "histogram", Help);
    std::uint64_t Below = 0;
    for (std::size_t I = 0; I < Bounds.size(); ++I) {
        Below += H.Buckets[I];
        Out += std::string(Name) + "_bucket{le=\"" + Number(Bounds[I]) + "\"} " + std::to_string(Below) + "\n";
    }
    Out += std::string(Name) + "_bucket{le=\"+Inf\"} " + std::to_string(H.Count) + "\n";
    Out += std::string(Name) + "_sum " + Number(H.Sum) + "\n";
    Out += std::string(Name) + "_count " + std::to_string(H.Count) + "\n";
}

std::string TServerMetrics::Text(const TGauges& Gauges) const {
    std::lock_guard<std::mutex> Lock(FLock);
    std::string Out;
    WriteHead(Out, "plotvane_requests_total", "counter", "Answered requests by status and chart format.");
    for (const auto& [Key, Count] : FAnswers)
        Out += "plotvane_requests_total{format=\"" + Key.first + "\",status=\"" + std::to_string(Key.second) + "\"} " +
               std::to_string(Count) + "\n";
    WriteHistogram(Out, "plotvane_request_duration_seconds",
                   "Time from a request's head to its answer being queued.", FRequests);
    WriteHistogram(Out, "plotvane_render_duration_seconds", "Time to draw and encode one chart.", FRenders);
    WriteHistogram(Out, "plotvane_query_duration_seconds", "Time to read a chart's data sets again.", FQueries);
    WriteSingle(Out, "plotvane_cache_hits_total", "counter", "Chart answers taken from the response cache.",
                double(FCacheHits));
    WriteSingle(Out, "plotvane_cache_misses_total", "counter", "Chart answers the response cache did not hold.",
                double(FCacheMisses));
    WriteSingle(Out, "plotvane_cache_bytes", "gauge", "Bytes held by the response cache.", double(Gauges.CacheBytes));
    WriteSingle(Out, "plotvane_cache_entries", "gauge", "Answers held by the response cache.",
                double(Gauges.CacheEntries));
    WriteSingle(Out, "plotvane_requests_in_flight", "gauge", "Requests whose answer is not yet sent.",
                double(Gauges.InFlight));
    WriteSingle(Out, "plotvane_database_errors_total", "counter",
                "Chart requests answered 503 because a database could not be read.", double(FDatabaseErrors));
    WriteSingle(Out, "plotvane_rate_limited_total", "counter", "Requests refused with 429 by the rate limit.",
                double(FRateLimited));
    WriteSingle(Out, "plotvane_render_budget_refused_total", "counter",
                "Big renders refused with 503 because the render budget was full.", double(FBudgetRefused));
    WriteSingle(Out, "plotvane_signature_refused_total", "counter",
                "Chart requests refused with 403 for a missing, wrong or expired signature.",
                double(FSignatureRefused));
    return Out;
}

}  // namespace plotvane
