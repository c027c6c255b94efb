// Figures for the analytics path: how fast records are built and queued, how long one batch
// takes to compress and encode, and how long a full queue takes to reach the loopback collector.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <string>
#include <vector>

#include "collector/collector_server.h"
#include "support/temp_folder.h"
#include "usage/batch_sender.h"
#include "usage/properties_node.h"
#include "usage/record_builder.h"
#include "usage/record_queue.h"
#include "usage/sdk.h"

namespace {

using usage_analytics::PropertiesNode;
using usage_analytics::Sdk;

// Roughly what the tracker registers once per run.
PropertiesNode superProperties() {
    PropertiesNode properties;
    const char* const texts[][2] = {
        {"ko_app_name", "BrivanoPhotoEditor.downloader"},
        {"ko_app_version", "1.7.9"},
        {"ko_app_platform", "Linux"},
        {"ko_sdk", "LinuxCPP"},
        {"$os", "Linux"},
        {"$os_version", "Debian GNU/Linux 12"},
        {"ko_l10n_locale", "zh_CN"},
        {"ko_l10n_language", "zh"},
        {"ko_l10n_country", "CN"},
        {"ko_device_id", "6f1c2b0a-4d4e-4f7b-9a53-2f5e0c7d9b11"},
    };
    for (const auto& [key, value] : texts) {
        properties.SetString(key, value);
    }
    properties.SetNumber("$screen_width", 1920);
    properties.SetNumber("$screen_height", 1080);
    return properties;
}

// What the installer's Task reports carry.
PropertiesNode taskProperties() {
    PropertiesNode properties;
    properties.SetString("ko_task_name", "大包下载完毕");
    properties.SetNumber("ko_task_elapsed", 12.25);
    properties.SetString("ko_task_result", "Success");
    properties.SetString("ko_reason", "");
    properties.SetBool("$is_first_time", true);
    properties.SetString("koc_ab", "IN");
    return properties;
}

// One SDK instance per benchmark, posting to an in-process loopback collector.
class SdkRun {
public:
    SdkRun() {
        collector_.start();
        Sdk::Init(folder_.path().string(), collector_.url(), "bench-distinct-id", false);
        Sdk::RegisterSuperProperties(superProperties());
    }
    ~SdkRun() {
        Sdk::Destroy();
        collector_.stop();
    }
    SdkRun(const SdkRun&) = delete;
    SdkRun& operator=(const SdkRun&) = delete;

    const collector::CollectorServer& collector() const { return collector_; }

private:
    test_support::TempFolder folder_;
    collector::CollectorServer collector_;
};

void BuildAndQueueTaskRecords(benchmark::State& state) {
    const SdkRun run;
    const PropertiesNode properties = taskProperties();
    for (auto _ : state) {
        Sdk::Track("KoEventTask", properties);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildAndQueueTaskRecords)->MinTime(1.0);

void CompressAndEncodeBatchOf30(benchmark::State& state) {
    const PropertiesNode supers = superProperties();
    const PropertiesNode properties = taskProperties();
    std::string array = "[";
    for (std::size_t i = 0; i < usage_analytics::RecordQueue::kBatchRecords; ++i) {
        usage_analytics::RecordRequest request;
        request.type = "track";
        request.eventName = "KoEventTask";
        request.properties = &properties;
        request.distinctId = "bench-distinct-id";
        request.superProperties = &supers;
        int random = static_cast<int>(i * 7919 % 32768);
        array += (i == 0 ? "" : ",") +
                 usage_analytics::buildRecord(request, 1765400000000 + i, [&random] {
                     return random++;
                 }).value_or("{}");
    }
    array += "]";
    for (auto _ : state) {
        benchmark::DoNotOptimize(usage_analytics::encodeBatchBody(array));
    }
    state.counters["array_bytes"] = static_cast<double>(array.size());
}
BENCHMARK(CompressAndEncodeBatchOf30)->Unit(benchmark::kMicrosecond);

void FlushFullQueueToLoopbackCollector(benchmark::State& state) {
    const SdkRun run;
    const PropertiesNode properties = taskProperties();
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < usage_analytics::RecordQueue::kMaxRecords; ++i) {
            Sdk::Track("KoEventTask", properties);
        }
        state.ResumeTiming();
        if (!Sdk::Flush()) {
            state.SkipWithError("the loopback collector refused a batch");
            break;
        }
    }
    state.counters["posts"] = static_cast<double>(run.collector().posts().size());
}
BENCHMARK(FlushFullQueueToLoopbackCollector)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_ALL);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
